#include "app/KeloApplication.h"

#include "settings/KeloError.h"
#include "widgets/DialogService.h"
#include "widgets/QtTranslations.h"

#include <QWidget>

KeloApplication::KeloApplication(int& argc, char** argv, DialogService& dialogs)
    : QApplication(argc, argv), m_dialogs(dialogs)
{
    // Qt's own dialogs and buttons speak Korean, as the program does. No
    // application display name is set: the window system would append it to
    // every caption (applicationTitle() holds the program's title).
    installQtKoreanTranslations(*this);
}

bool KeloApplication::notify(QObject* receiver, QEvent* event)
{
    QWidget* owner = receiver && receiver->isWidgetType() ? static_cast<QWidget*>(receiver)->window() : nullptr;
    try {
        return QApplication::notify(receiver, event);
    } catch (const KeloError& error) {
        m_dialogs.errorBox(owner, error.text());
    } catch (const std::exception& error) {
        m_dialogs.errorBox(owner, QString::fromLocal8Bit(error.what()));
    }
    return true;
}
