#pragma once

class MonitoringEngine;
class MqttPublisher;

// Feeds a publisher from a monitoring run: every channel's value at each live
// sampling tick, and every request's fate for the bus health. The publisher
// queues and returns at once, so the run's rhythm never waits for the broker.
void feedPublisher(MonitoringEngine& engine, MqttPublisher& publisher);
