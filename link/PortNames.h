#pragma once
#include <QString>
#include <QStringList>

// File name of the simulator's link in the program directory (run.sh and the
// menu's simulator action keep it there).
inline constexpr char kSimulatorLinkName[] = "kelosim.tty";

// The serial ports the system reports, the simulator's link when it is there
// now, and configuredPort even when its device is missing (an adapter not
// plugged in yet), so the operator can always go back to what is stored;
// without duplicates, sorted without regard to letter case (COM10 before COM2).
[[nodiscard]] QStringList ListPortNames(const QString& configuredPort, const QString& simulatorLink = {});
// As above with the Port of section ComPort1 in Main.ini (read only) and the
// simulator's link in the program directory.
[[nodiscard]] QStringList ListPortNames();

// Names sorted as ListPortNames sorts them, duplicates (any letter case) removed.
[[nodiscard]] QStringList SortPortNames(QStringList names);
