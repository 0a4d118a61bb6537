#pragma once
#include <QApplication>

class DialogService;

// The application object: an error that escapes any event handler is shown
// in the error box, and the event loop carries on, so the window keeps the
// state it had reached.
class KeloApplication : public QApplication {
    Q_OBJECT
public:
    KeloApplication(int& argc, char** argv, DialogService& dialogs);

    bool notify(QObject* receiver, QEvent* event) override;

private:
    DialogService& m_dialogs;
};
