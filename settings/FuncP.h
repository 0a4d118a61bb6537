#pragma once
#include <QString>

// The directory of the program's files with a trailing separator; Main.ini and
// the Monitor folder lie in it. Empty until SetProgramPath runs.
extern QString ProgramPath;

// The running program's own directory when it can be written (a build folder,
// a copied folder); otherwise, for an installed program, the user's data folder
// (see installedProgramDir), created with an empty Main.ini at the first start.
void SetProgramPath();
void SetProgramPath(const QString& dir); // an explicit directory (tests, tools)

// Whether a program in exeDir keeps its files elsewhere: the folder cannot be
// written, or it is a system program folder (which root could write but must not).
[[nodiscard]] bool isInstalledProgramDir(const QString& exeDir);
// $XDG_DATA_HOME/kelomon, or ~/.local/share/kelomon when XDG_DATA_HOME is unset,
// empty or not absolute.
[[nodiscard]] QString installedProgramDir();
// The folder SetProgramPath() uses for a program whose executable lies in exeDir.
[[nodiscard]] QString programDirFor(const QString& exeDir);
// Creates dir and an empty Main.ini in it where they are missing; an existing
// Main.ini is never touched. False when either cannot be created.
bool createProgramDir(const QString& dir);

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
