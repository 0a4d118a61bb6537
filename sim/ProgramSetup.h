#pragma once
#include "link/PortNames.h"
#include "monitoring/ChannelSet.h"

#include <QString>

// The file name of the simulator's symlink; a configured Port with this file
// name was set up by an earlier run and is served again.
inline constexpr const char* kSimLinkName = kSimulatorLinkName;

// Readies the program directory dir for a run with the simulator.
// When Main.ini there configures no controller port (no file, no or empty
// [ComPort1] Port), points Port at link, fills the line keys and [Delay] Time
// that are missing or empty (keeping everything else in the file), and puts
// the sample channel set into Monitor/sample.khd unless that file exists.
// Returns the link to serve: link itself, the configured Port when it is a
// simulator link of an earlier run, or the empty text when a real port is
// configured. Throws KeloError when a file cannot be written.
QString prepareProgramDir(const QString& dir, const QString& link);

// Two controllers, each read at its process value and its set value.
[[nodiscard]] ChannelSet sampleChannelSet();
