#pragma once
#include "alarms/AlarmTypes.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;

// The alarm limits of one channel, opened from the channel set editor's
// selected row: high and low limit (either may be empty), hysteresis, delay
// and priority. Numbers take a '.' decimal point, in the channel's displayed
// units. A wrong entry is said in the dialog and keeps it open.
class AlarmDefDialog : public QDialog {
    Q_OBJECT
public:
    AlarmDefDialog(const QString& channelName, const ChannelAlarmDef& def, QWidget* parent = nullptr);

    [[nodiscard]] const ChannelAlarmDef& def() const { return m_def; }
    // What is wrong with the entries, or "" (then `def` holds them).
    [[nodiscard]] QString check();

    void accept() override;

private:
    QLineEdit* m_high;
    QLineEdit* m_low;
    QLineEdit* m_hysteresis;
    QLineEdit* m_delay;
    QComboBox* m_priority;
    QLabel* m_problem;
    ChannelAlarmDef m_def;
};

// Limits as the editor's grid and the dialog write them: "" for none,
// otherwise the shortest '.' text that reads back the same.
[[nodiscard]] QString limitText(const std::optional<double>& limit);
[[nodiscard]] QString numberText(double value);
// A '.' decimal number; none for an empty or wrong text (`ok` tells which).
[[nodiscard]] std::optional<double> parseLimit(const QString& text, bool* ok);
