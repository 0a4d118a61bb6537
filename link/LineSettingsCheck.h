#pragma once
#include "link/PortSettings.h"

#include <QString>

// The line settings an operator writes as text: Main.ini's BaudRate,
// CustomBaudRate, Parity, DataBits and StopBits, and kelorec's options for
// them. Unlike the window's loader, which falls back to 9600,None,8,1 for a
// text it does not know, this check refuses such a text, so a recorder never
// runs the line at settings nobody gave it.
enum class LineSetting { BaudRate, CustomBaudRate, Parity, DataBits, StopBits };

// The Main.ini key of the setting ("BaudRate").
[[nodiscard]] QString lineSettingKey(LineSetting setting);
// What the setting accepts, for messages: "5, 6, 7 or 8".
[[nodiscard]] QString lineSettingChoices(LineSetting setting);
// Sets the setting from its text, compared without regard to letter case.
// BaudRate takes the texts of the settings dialog, "Custom" included (the
// rate is then CustomBaudRate's); CustomBaudRate a whole number of bits per
// second above 0, decimal or after "0x" hexadecimal. False, and nothing
// changed, when the text is none of the setting's values.
[[nodiscard]] bool applyLineSetting(TComPortSettings& settings, LineSetting setting, const QString& text);
