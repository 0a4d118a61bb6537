#pragma once
#include "monitoring/ChannelSet.h"

class MonitoringEngine;
class MqttPublisher;

// Feeds a publisher from a monitoring run: every channel's value at each live
// sampling tick, and every request's fate for the bus health. The publisher
// queues and returns at once, so the run's rhythm never waits for the broker.
// The owner tells the publisher where a run begins and ends
// (MqttPublisher::beginRun, endRun).
void feedPublisher(MonitoringEngine& engine, MqttPublisher& publisher);

// The engine's channels as the set a run publishes.
[[nodiscard]] ChannelSet publishedSet(const MonitoringEngine& engine, const QString& title, int samplingMs);
