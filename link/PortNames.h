#pragma once
#include <QString>
#include <QStringList>

// The serial ports the system reports, plus configuredPort when it names an
// existing device (so a simulator's pseudo-terminal can be chosen and kept),
// without duplicates, sorted without regard to letter case (COM10 before COM2).
[[nodiscard]] QStringList ListPortNames(const QString& configuredPort);
// As above with the Port of section ComPort1 in Main.ini (read only).
[[nodiscard]] QStringList ListPortNames();

// Names sorted as ListPortNames sorts them, duplicates (any letter case) removed.
[[nodiscard]] QStringList SortPortNames(QStringList names);
