#include "widgets/KeyboardReach.h"

#include <QAction>
#include <QToolBar>

void makeToolBarReachable(QToolBar* bar, const QString& what)
{
    for (QAction* action : bar->actions()) {
        QWidget* button = bar->widgetForAction(action);
        if (!button || action->isSeparator())
            continue;
        if (!action->objectName().isEmpty())
            button->setObjectName(action->objectName() + QStringLiteral("Button"));
        button->setFocusPolicy(Qt::TabFocus);
        button->setAccessibleName(what + QLatin1Char(' ') + action->text());
        button->setAccessibleDescription(action->toolTip());
    }
}
