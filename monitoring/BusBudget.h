#pragma once
#include <QString>
#include <QtGlobal>

// How often each channel of a set is read on the shared line, against how
// often it is recorded: one channel is polled per poll tick, so a channel is
// read again only after channels × poll delay.
struct BusBudget {
    int channels = 0;
    qint64 pollDelayMs = 0;
    qint64 samplingMs = 0;

    [[nodiscard]] qint64 refreshMs() const { return qint64(channels) * pollDelayMs; }
    // A poll timer of 0 ms or less never fires: nothing is read at all.
    [[nodiscard]] bool neverReads() const { return pollDelayMs <= 0; }
    // Records then repeat a channel's old value until it is read again.
    [[nodiscard]] bool recordsRepeat() const { return channels > 0 && (neverReads() || refreshMs() > samplingMs); }

    // One line for the value table's heading: the refresh time of the set.
    [[nodiscard]] QString refreshText() const;
    // The notice shown at Start when records repeat values; empty otherwise.
    [[nodiscard]] QString repeatNotice() const;
};
