// Every window as a screen reader or a test driver meets it: each focusable
// control has a name, and every button can be reached with Tab.
#include "app/AboutP.h"
#include "app/KeloMainP.h"
#include "autotune/AutoP.h"
#include "console/CommandP.h"
#include "link/SetupP.h"
#include "monitoring/MinputP.h"
#include "monitoring/MonitoringP.h"
#include "review/DataViewP.h"
#include "settings/FuncP.h"
#include "tests/app/AppTestMain.h"
#include "tests/support/Files.h"
#include "widgets/AppContext.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QToolBar>
#include <gtest/gtest.h>
#include <functional>
#include <memory>

namespace {

QString describe(QAccessibleInterface* iface)
{
    QString where;
    for (QAccessibleInterface* i = iface; i && where.isEmpty(); i = i->parent())
        for (QObject* o = i->object(); o && where.isEmpty(); o = o->parent())
            if (!o->objectName().isEmpty())
                where = QString::fromLatin1(o->metaObject()->className()) + " " + o->objectName();
    return QStringLiteral("role 0x%1 in %2").arg(int(iface->role()), 0, 16).arg(where);
}

// Walks the accessibility tree below `iface`; lists what is focusable and
// shown but has no name.
void collectUnnamed(QAccessibleInterface* iface, QStringList& unnamed, int depth = 0)
{
    if (!iface || !iface->isValid() || depth > 50)
        return;
    const QAccessible::State state = iface->state();
    if (state.invisible)
        return;
    if (state.focusable && iface->text(QAccessible::Name).trimmed().isEmpty())
        unnamed << describe(iface);
    for (int i = 0; i < iface->childCount(); ++i)
        collectUnnamed(iface->child(i), unnamed, depth + 1);
}

// Buttons the keyboard cannot reach (menus reach the main window's tool bar).
QStringList unreachableButtons(QWidget* window)
{
    QStringList out;
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        if (!b->isVisibleTo(window) || (b->focusPolicy() & Qt::TabFocus))
            continue;
        // A tool bar's overflow arrow; a table's corner selects all, as Ctrl+A does.
        if (b->objectName() == QLatin1String("qt_toolbar_ext_button") || b->inherits("QTableCornerButton"))
            continue;
        out << QString::fromLatin1(b->metaObject()->className()) + " " + b->objectName() + " '" + b->text() + "'";
    }
    return out;
}

struct AccessibilityFixture : ::testing::Test {
    ProgramDir dir;
    AppContext context{appDialogs()};

    void SetUp() override
    {
        appDialogs().clear();
        ASSERT_TRUE(QDir().mkpath(MonitorDir()));
        writeBytes(MonitorDir() + "/set.khd",
                   "Line A;1000\r\n01;Zone 1;0001;1;1200;-100;255\r\n02;Zone 2;0001;0;100;0;65280\r\n");
    }

    void expectAllNamed(QWidget* window, const char* name)
    {
        window->resize(1000, 700);
        window->show();
        QStringList unnamed;
        collectUnnamed(QAccessible::queryAccessibleInterface(window), unnamed);
        EXPECT_TRUE(unnamed.isEmpty()) << name << ": " << unnamed.join(" | ").toStdString();
        const QStringList unreachable = unreachableButtons(window);
        EXPECT_TRUE(unreachable.isEmpty()) << name << ": " << unreachable.join(" | ").toStdString();
        window->hide();
    }
};

} // namespace

TEST_F(AccessibilityFixture, EveryFocusableControlOfEveryWindowHasANameAndTabReachesEveryButton)
{
    TMonitoringF monitoring(context);
    monitoring.show();
    ASSERT_TRUE(monitoring.LoadChannelSet(MonitorDir() + "/set.khd"));
    expectAllNamed(&monitoring, "모니터링");

    const std::pair<const char*, std::function<std::unique_ptr<QWidget>()>> windows[] = {
        {"main", [&] { return std::make_unique<TKeloMainF>(context); }},
        {"about", [&] { return std::make_unique<TAboutF>(context); }},
        {"setup", [&] { return std::make_unique<TSetupF>(context); }},
        {"console", [&] { return std::make_unique<TCommandF>(context); }},
        {"editor", [&] { return std::make_unique<TMinputF>(context); }},
        {"viewer", [&] { return std::make_unique<TDataViewF>(context); }},
        {"auto-tuning", [&] { return std::make_unique<TAutoF>(context); }},
    };
    for (const auto& [name, make] : windows) {
        const std::unique_ptr<QWidget> window = make();
        expectAllNamed(window.get(), name);
    }
}

// A screen reader says where a cell is and what its column holds.
TEST_F(AccessibilityFixture, GridCellsAreNamedByRowColumnAndHeading)
{
    TMonitoringF monitoring(context);
    monitoring.show();
    ASSERT_TRUE(monitoring.LoadChannelSet(MonitorDir() + "/set.khd"));
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(monitoring.findChild<QWidget*>("acGrd1"));
    ASSERT_TRUE(table && table->tableInterface());
    QAccessibleInterface* cell = table->tableInterface()->cellAt(2, 3);
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->text(QAccessible::Name), QStringLiteral("2행 3열 Caption: Zone 2"));
    EXPECT_EQ(table->tableInterface()->cellAt(1, 1)->text(QAccessible::Name), QStringLiteral("1행 1열 Color: 빈 칸"));
}

// Tab reads the console as it is laid out: the left column top to bottom
// (command, address, body, log and its tools), then the right column.
TEST_F(AccessibilityFixture, TabFollowsTheConsolesLayout)
{
    TCommandF console(context);
    console.show();
    QApplication::setActiveWindow(&console);
    const char* expected[] = {"cxCmbSel", "edtUnit", "edtSend", "Memo1", "chbHex", "butClearLog",
                              "butSend",  "butSetup", "butExit", "chbAll", "clsbAll", "cxCmbSel"};
    QWidget* at = console.findChild<QWidget*>("cxCmbSel");
    for (const char* name : expected) {
        EXPECT_EQ(at->objectName(), QLatin1String(name));
        do
            at = at->nextInFocusChain();
        while (!(at->focusPolicy() & Qt::TabFocus) || !at->isVisibleTo(&console) || !at->isEnabled());
    }
}
