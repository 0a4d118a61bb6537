#pragma once
#include "alarms/AlarmTypes.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;
class QToolButton;

// The alarm list of a monitoring window: every alarm not normal, newest
// first, with time, priority, channel caption, kind, value and state, and
// the buttons that acknowledge the selected alarm or all of them. It shows
// what it is given and asks for acknowledgements; it never decides a state.
class AlarmListPanel : public QWidget {
    Q_OBJECT
public:
    enum Column { ColTime, ColPriority, ColChannel, ColKind, ColValue, ColState, ColumnCount };

    explicit AlarmListPanel(QWidget* parent = nullptr);

    // The channels' captions and decimal places (entry i: channel i + 1).
    void setChannels(const QStringList& captions, const QList<int>& decimals);
    // Replaces the list; keeps the selected alarm selected while it is listed.
    void showAlarms(const QList<AlarmTransition>& listed);

    [[nodiscard]] int rowCount() const;
    [[nodiscard]] QString cellText(int row, int col) const;
    [[nodiscard]] std::optional<AlarmKey> selectedKey() const;
    void selectRow(int row);
    // The value text of a transition, in its channel's decimals.
    [[nodiscard]] QString valueText(const AlarmTransition& t) const;
    [[nodiscard]] QString channelText(const AlarmKey& key) const;

    // A problem with the alarm file or log, in red over the list ("" hides it).
    void setProblem(const QString& text);
    [[nodiscard]] QString problem() const;

    // The mute switch, which the window ties to its sound.
    [[nodiscard]] QToolButton* muteSwitch() const { return m_mute; }

Q_SIGNALS:
    void acknowledgeRequested(AlarmKey key);
    void acknowledgeAllRequested();

private:
    void updateButtons();

    QTableWidget* m_table = nullptr;
    QPushButton* m_ack = nullptr;
    QPushButton* m_ackAll = nullptr;
    QToolButton* m_mute = nullptr;
    QLabel* m_heading = nullptr;
    QLabel* m_problem = nullptr;
    QStringList m_captions;
    QList<int> m_decimals;
    QList<AlarmTransition> m_listed;
};
