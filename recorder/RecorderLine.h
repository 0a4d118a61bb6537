#pragma once
#include "link/PortSettings.h"
#include "recorder/RecorderOptions.h"

#include <QString>

// The serial line of a recorder run: [ComPort1] of Main.ini in the program
// folder, every key checked, then the line options of the command line on
// top. A value nobody can mean (BaudRate=12345abc, Parity=Weird, a file of
// garbage) refuses the run instead of quietly becoming 9600,None,8,1.
struct RecorderLine {
    TComPortSettings settings;
    QString refusal;       // why the run cannot start; "" when it can
    QString settingsNote;  // where the line settings came from, for the start line
    QString portNote;      // where the port came from, when it is the default
    bool portDefaulted = false;
};

// programDir: the folder of Main.ini; given: it was named by --program-dir
// (so a missing folder is a mistake, not a first start).
[[nodiscard]] RecorderLine loadRecorderLine(const QString& programDir, bool given, const RecorderOptions& options);
