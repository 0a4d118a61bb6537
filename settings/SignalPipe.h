#pragma once
#include <QObject>
#include <initializer_list>
#include <memory>

class QSocketNotifier;

// Unix signals as a Qt signal for the command-line programs: the handler only
// writes the signal's number to a pipe, and the event loop reads it from there.
// SIGPIPE is ignored as well. One per process.
class SignalPipe : public QObject {
    Q_OBJECT
public:
    explicit SignalPipe(std::initializer_list<int> caughtSignals, QObject* parent = nullptr);
    ~SignalPipe() override;
    // False when no pipe could be made; the signals then keep their defaults.
    [[nodiscard]] bool ok() const { return m_notifier != nullptr; }

Q_SIGNALS:
    void caught(int signal);

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};
