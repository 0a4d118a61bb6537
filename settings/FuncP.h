#pragma once
#include <QString>

// The directory of the program with a trailing separator; Main.ini and the
// Monitor folder lie in it. Empty until SetProgramPath runs.
extern QString ProgramPath;

void SetProgramPath();                   // the running program's own directory
void SetProgramPath(const QString& dir); // an explicit directory (tests, tools)

// ProgramPath + "Main.ini", the one settings file.
[[nodiscard]] QString MainIniPath();
// ProgramPath + "Monitor", the default folder of channel sets and record files.
[[nodiscard]] QString MonitorDir();

// Reads a key; when read is false or the value is empty, writes the default
// back and returns it. Throws KeloError "Unable to write to %s".
QString IniReadOrWrite(bool read, const QString& fileName, const QString& section,
                       const QString& key, const QString& defaultValue);

inline constexpr int BadHexValue = -99999;

// Four upper-case hexadecimal digits as a signed 16-bit value; BadHexValue for
// any character outside 0-9, A-F (only the last four digits add to the sum).
[[nodiscard]] int HexWordToInt(const QString& text);

// Trims characters below 33, then puts pad in front until width is reached.
[[nodiscard]] QString PadLeft(const QString& text, const QString& pad, int width);

// Field n (from 1) of a ";"-separated line; a number out of range gives the
// text after the last ";".
[[nodiscard]] QString GetField(const QString& text, int field);
