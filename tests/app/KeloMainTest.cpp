#include "app/KeloApplication.h"
#include "app/KeloMainP.h"
#include "settings/KeloError.h"
#include "tests/app/AppTestMain.h"
#include "tests/support/Files.h"
#include "widgets/AppContext.h"

#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QApplication>
#include <QScreen>
#include <gtest/gtest.h>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

#if defined(__SANITIZE_ADDRESS__)
struct LeakCheckPause {
    LeakCheckPause() { __lsan_disable(); }
    ~LeakCheckPause() { __lsan_enable(); }
};
#else
struct LeakCheckPause {};
#endif

struct MainWindowFixture : ::testing::Test {
    ProgramDir dir;
    QDateTime now = QDateTime(QDate(2024, 5, 5), QTime(10, 0));
    AppContext context{appDialogs(), [this] { return now; }};

    void SetUp() override { appDialogs().clear(); }
};

QString panDate(TKeloMainF& w)
{
    return w.findChild<QLabel*>("PanDate")->text();
}

} // namespace

TEST_F(MainWindowFixture, DatePanelShowsTheWeekdayInKorean)
{
    TKeloMainF w(context);
    w.show();
    EXPECT_EQ(panDate(w), QString::fromUtf8("2024-05-05 [일요일]"));
    now = QDateTime(QDate(2024, 5, 4), QTime(23, 59));
    w.Timer1Timer();
    EXPECT_EQ(panDate(w), QString::fromUtf8("2024-05-04 [토요일]"));
    now = QDateTime(QDate(2005, 3, 15), QTime(8, 0));
    w.Timer1Timer();
    EXPECT_EQ(panDate(w), QString::fromUtf8("2005-03-15 [화요일]"));
}

TEST_F(MainWindowFixture, FirstShowCreatesTheMonitorFolderAndLeavesItAlone)
{
    const QString monitor = dir.file("Monitor");
    ASSERT_FALSE(QDir(monitor).exists());
    {
        TKeloMainF w(context);
        w.show();
    }
    ASSERT_TRUE(QDir(monitor).exists());
    writeBytes(monitor + "/keep.khd", "x;1\r\n");
    {
        TKeloMainF w(context);
        w.show();
    }
    EXPECT_EQ(readBytes(monitor + "/keep.khd"), QByteArray("x;1\r\n"));
    EXPECT_TRUE(appDialogs().errors.isEmpty());
}

TEST_F(MainWindowFixture, MonitorFolderThatCannotBeMadeIsReportedAndTheWindowOpens)
{
    writeBytes(dir.file("Monitor"), "a file in the way");
    TKeloMainF w(context);
    w.show();
    ASSERT_EQ(appDialogs().errors.size(), 1);
    EXPECT_TRUE(appDialogs().errors.first().contains("Monitor"));
    EXPECT_TRUE(w.isVisible());
}

TEST_F(MainWindowFixture, ClosingAsksAndOnlyYesEnds)
{
    TKeloMainF w(context);
    w.show();
    appDialogs().answers = {MsgResult::No};
    w.N6Click();
    EXPECT_TRUE(w.isVisible());
    ASSERT_EQ(appDialogs().messages.size(), 1u);
    EXPECT_EQ(appDialogs().messages[0].text, QString::fromUtf8("정말 종료하시겠습니까?"));
    EXPECT_EQ(appDialogs().messages[0].caption, QString::fromUtf8("확인"));
    EXPECT_EQ(appDialogs().messages[0].style, 36);
    EXPECT_FALSE(panDate(w).isEmpty());

    appDialogs().answers = {MsgResult::Yes};
    w.close();
    EXPECT_FALSE(w.isVisible());
}

TEST_F(MainWindowFixture, MenuHasTheItemsInOrder)
{
    TKeloMainF w(context);
    QStringList titles;
    for (QAction* menu : w.menuBar()->actions()) {
        QStringList items;
        for (QAction* a : menu->menu()->actions())
            items << (a->isSeparator() ? QStringLiteral("-") : a->text());
        titles << menu->text() + ":" + items.join(",");
    }
    EXPECT_EQ(titles.join("|"), QString::fromUtf8(
        "모니터링:모니터링,데이터조회|AutoTuring:AutoTuring|코멘드:코멘드통신|환경설정:통신설정|기타:About,-,종료"));
    QStringList disabled;
    for (QAction* menu : w.menuBar()->actions())
        for (QAction* a : menu->menu()->actions())
            if (!a->isSeparator() && !a->isEnabled())
                disabled << a->objectName();
    EXPECT_TRUE(disabled.isEmpty()) << disabled.join(",").toStdString();
    EXPECT_EQ(w.windowTitle(), QString::fromUtf8("켈로-온도조절계모니터링+AT Ver1.13"));
    // No display name is set, so the window system shows every caption as
    // it is, without " — 모니터링+AutoTuming" after it.
    EXPECT_EQ(qApp->applicationDisplayName(), qApp->applicationName());
}

TEST(KeloApplication, ErrorEscapingAHandlerIsShownAndTheWindowStays)
{
    // Qt frees a mouse event's point records only when its delivery returns
    // normally; an error unwinding through it leaves them to the process.
    const LeakCheckPause qtKeepsTheUnwoundEvent;
    appDialogs().clear();
    QWidget window;
    auto* button = new QPushButton("go", &window);
    int reached = 0;
    QObject::connect(button, &QPushButton::clicked, [&] {
        reached = 1;
        throw KeloError("'abc' is not a valid integer value");
    });
    window.show();
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(reached, 1);
    ASSERT_EQ(appDialogs().errors.size(), 1);
    EXPECT_EQ(appDialogs().errors.first(), "'abc' is not a valid integer value");
    EXPECT_TRUE(window.isVisible());
}

TEST_F(MainWindowFixture, AutoTuringEntryOpensTheTuningWindowModally)
{
    TKeloMainF w(context);
    QAction* entry = w.findChild<QAction*>("Auto1");
    ASSERT_NE(entry, nullptr);
    QString opened;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        QWidget* top = QApplication::activeModalWidget();
        if (!top)
            return;
        opened = top->windowTitle();
        modal = top->isModal();
        top->close();
    });
    entry->trigger();
    EXPECT_EQ(opened, QStringLiteral("Auto Turing"));
    EXPECT_TRUE(modal);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainWindowFixture, OpensAtItsOuterSizeCentredOnTheScreen)
{
    TKeloMainF w(context);
    w.show();
    // The window system reports the frame when the window is first exposed.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QCoreApplication::processEvents();
    EXPECT_GT(w.frameGeometry().width(), w.width()) << "this platform draws a frame";
    EXPECT_EQ(w.frameGeometry().size(), QSize(748, 616));
    const QPoint offset = w.frameGeometry().center() - w.screen()->availableGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2);
}
