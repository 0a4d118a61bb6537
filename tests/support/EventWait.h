#pragma once
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <gtest/gtest.h>
#include <functional>

// Spins the event loop until the condition holds. The guard is generous: it
// turns a lost byte into a failed test instead of a hung one.
inline bool waitUntil(const std::function<bool()>& done, int guardMs = 10000)
{
    QDeadlineTimer guard(guardMs);
    while (!done()) {
        if (guard.hasExpired()) {
            ADD_FAILURE() << "the window did not get there";
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}
