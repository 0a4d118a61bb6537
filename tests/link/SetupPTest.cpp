#include "link/ComComboBoxP.h"
#include "link/SetupP.h"
#include "settings/FuncP.h"
#include "settings/KeloError.h"
#include "tests/link/PtyPair.h"
#include "tests/support/Files.h"
#include "tests/support/ScriptedDialogs.h"
#include "widgets/AppContext.h"

#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct SetupFixture : ::testing::Test {
    ProgramDir dir;
    ScriptedDialogs dialogs;
    AppContext context{dialogs};
};

TComComboBox* list(TSetupF& w, int n)
{
    return w.findChild<TComComboBox*>(QStringLiteral("ComComboBox%1").arg(n));
}

QLineEdit* edtSec(TSetupF& w)
{
    return w.findChild<QLineEdit*>("edtSec");
}

QStringList items(TComComboBox* box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

const QByteArray kDefaults =
    "[ComPort1]\r\nPort=COM1\r\nBaudRate=9600\r\nParity=None\r\nDataBits=8\r\nStopBits=1\r\n"
    "[Delay]\r\nTime=20\r\n";

} // namespace

TEST_F(SetupFixture, FreshDialogListsEverySettingAndProposes200)
{
    TSetupF w(context);
    EXPECT_EQ(w.windowTitle(), "통신설정");
    EXPECT_EQ(w.findChild<QLabel*>("Label6")->text(), "통신설정");
    EXPECT_EQ(w.findChild<QLabel*>("Label7")->text(), "Delay Timer");
    EXPECT_EQ(w.findChild<QPushButton*>("butSave")->text(), "저장");
    EXPECT_EQ(w.findChild<QPushButton*>("butExit")->text(), "종료");
    EXPECT_EQ(items(list(w, 2)), (QStringList{"Custom", "110", "300", "600", "1200", "2400", "4800",
                                              "9600", "14400", "19200", "38400", "56000", "57600",
                                              "115200", "128000", "256000"}));
    EXPECT_EQ(items(list(w, 3)), (QStringList{"None", "Odd", "Even", "Mark", "Space"}));
    EXPECT_EQ(items(list(w, 4)), (QStringList{"5", "6", "7", "8"}));
    EXPECT_EQ(items(list(w, 5)), (QStringList{"1", "1.5", "2"}));
    for (int n = 2; n <= 5; ++n)
        EXPECT_EQ(list(w, n)->currentIndex(), 0) << n;
    EXPECT_EQ(edtSec(w)->text(), "200");
    EXPECT_FALSE(QFile::exists(dir.mainIni())) << "nothing is written before the dialog shows";
}

TEST_F(SetupFixture, ShowingWithoutMainIniWritesTheDefaultsWithoutFlowControl)
{
    TSetupF w(context);
    w.show();
    EXPECT_EQ(readBytes(dir.mainIni()), kDefaults);
    EXPECT_EQ(list(w, 2)->Text(), "9600");
    EXPECT_EQ(list(w, 3)->Text(), "None");
    EXPECT_EQ(list(w, 4)->Text(), "8");
    EXPECT_EQ(list(w, 5)->Text(), "1");
    EXPECT_EQ(edtSec(w)->text(), "20");
    if (items(list(w, 1)).contains("COM1", Qt::CaseInsensitive)) {
        EXPECT_EQ(list(w, 1)->Text(), "COM1");
    }
}

TEST_F(SetupFixture, StoredTextsSelectTheirItemOrLeaveTheFirstAndSaveWritesWhatIsShown)
{
    struct Case {
        QByteArray baud;
        QString shown;
        QByteArray saved;
    };
    const Case cases[] = {
        {"19200", "19200", "19200"},
        {"19201", "Custom", "Custom"},
        {"custom", "Custom", "Custom"},
        {"256000", "256000", "256000"},
    };
    for (const Case& c : cases) {
        writeBytes(dir.mainIni(), "[ComPort1]\r\nBaudRate=" + c.baud + "\r\nParity=even\r\n");
        TSetupF w(context);
        w.show();
        EXPECT_EQ(list(w, 2)->Text(), c.shown) << c.baud.constData();
        EXPECT_EQ(list(w, 3)->Text(), "Even");
        w.butSaveClick();
        EXPECT_FALSE(w.isVisible());
        const QByteArray ini = readBytes(dir.mainIni());
        EXPECT_TRUE(ini.contains("\r\nBaudRate=" + c.saved + "\r\n")) << ini.constData();
        EXPECT_TRUE(ini.contains("\r\nParity=Even\r\n")) << ini.constData();
    }
}

TEST_F(SetupFixture, SaveWritesEveryValueInPlaceAndTheDelayExactlyAsTyped)
{
    PtyPair pty;
    ASSERT_TRUE(pty.isOpen());
    const QByteArray port = pty.slavePath().toLatin1();
    writeBytes(dir.mainIni(), "; kept\r\n[ComPort1]\r\nPort=" + port
                                  + "\r\nFlowControl=Hardware\r\nBaudRate=4800\r\n[Temp]\r\nValue=1\r\n");
    TSetupF w(context);
    w.show();
    EXPECT_EQ(list(w, 1)->Text(), pty.slavePath()) << "a configured device is offered and kept";
    list(w, 2)->setText("115200");
    list(w, 3)->setText("Odd");
    list(w, 4)->setText("7");
    list(w, 5)->setText("2");
    edtSec(w)->clear();
    QTest::keyClicks(edtSec(w), " 0250");
    QTest::mouseClick(w.findChild<QPushButton*>("butSave"), Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(readBytes(dir.mainIni()),
              "; kept\r\n[ComPort1]\r\nPort=" + port
                  + "\r\nFlowControl=Hardware\r\nBaudRate=115200\r\nParity=Odd\r\nDataBits=7\r\n"
                    "StopBits=2\r\n[Temp]\r\nValue=1\r\n[Delay]\r\nTime= 0250\r\n");
}

// Once another port is stored, the operator must still find the simulator's
// link and the stored port (an adapter that is unplugged now) in the list.
TEST_F(SetupFixture, StoredPortAndTheSimulatorsLinkStayListedAndSaveTheirNames)
{
    PtyPair pty;
    const QString link = dir.file(QStringLiteral("kelosim.tty"));
    ASSERT_TRUE(QFile::link(pty.slavePath(), link));
    for (const QString& stored : {QStringLiteral("COM7"), QStringLiteral("ttyS0")}) {
        writeBytes(dir.mainIni(), "[ComPort1]\r\nPort=" + stored.toLatin1() + "\r\n");
        TSetupF w(context);
        w.show();
        EXPECT_TRUE(items(list(w, 1)).contains(link)) << stored.toStdString();
        EXPECT_EQ(list(w, 1)->Text(), stored);
        list(w, 1)->setText(link);
        w.butSaveClick();
        EXPECT_TRUE(readBytes(dir.mainIni()).startsWith("[ComPort1]\r\nPort=" + link.toLatin1() + "\r\n"));
    }
}

TEST_F(SetupFixture, EmptyPortListSavesAnEmptyPortThatTheNextReaderRestores)
{
    writeBytes(dir.mainIni(), "[ComPort1]\r\nPort=COM1\r\n");
    TSetupF w(context);
    w.show();
    // A machine without serial ports gives the list no items at all.
    list(w, 1)->clear();
    w.butSaveClick();
    EXPECT_TRUE(readBytes(dir.mainIni()).startsWith("[ComPort1]\r\nPort=\r\n"));
    EXPECT_EQ(IniReadOrWrite(true, MainIniPath(), "ComPort1", "Port", "COM1"), "COM1");
    EXPECT_TRUE(readBytes(dir.mainIni()).startsWith("[ComPort1]\r\nPort=COM1\r\n"));
}

TEST_F(SetupFixture, ExitAndTheCloseBoxLeaveMainIniAsItWasAfterShowing)
{
    for (const bool closeBox : {false, true}) {
        writeBytes(dir.mainIni(), "[ComPort1]\r\nBaudRate=19200\r\n");
        TSetupF w(context);
        w.show();
        const QByteArray afterShow = readBytes(dir.mainIni());
        ASSERT_TRUE(afterShow.contains("Time=20")) << "defaults are written on show";
        list(w, 2)->setText("300");
        list(w, 4)->setText("5");
        edtSec(w)->setText("999");
        if (closeBox) {
            QCloseEvent event;
            QApplication::sendEvent(&w, &event);
            w.close();
        } else {
            QTest::mouseClick(w.findChild<QPushButton*>("butExit"), Qt::LeftButton);
        }
        EXPECT_FALSE(w.isVisible());
        EXPECT_EQ(readBytes(dir.mainIni()), afterShow) << (closeBox ? "close box" : "종료");
    }
}

TEST_F(SetupFixture, FocusFollowsTheLayoutThroughTheListsTheDelaySaveAndExit)
{
    TSetupF w(context);
    w.show();
    QApplication::setActiveWindow(&w);
    QWidget* expected[] = {list(w, 1), list(w, 2), list(w, 3), list(w, 4), list(w, 5), edtSec(w),
                           w.findChild<QPushButton*>("butSave"), w.findChild<QPushButton*>("butExit"), list(w, 1)};
    QWidget* at = expected[0];
    for (QWidget* next : expected) {
        EXPECT_EQ(at, next) << next->objectName().toStdString() << " expected, "
                            << at->objectName().toStdString() << " has focus";
        // The next widget that takes the Tab key, as the dialog hands focus on.
        at = at->nextInFocusChain();
        while (!(at->focusPolicy() & Qt::TabFocus) || !at->isVisibleTo(&w))
            at = at->nextInFocusChain();
    }
}

TEST_F(SetupFixture, UnwritableMainIniStopsSavingAndTheDialogStaysOpen)
{
    TSetupF w(context);
    w.show();
    QFile::remove(dir.mainIni());
    ASSERT_TRUE(QDir(dir.path()).mkdir("Main.ini")); // a folder where the file should be
    try {
        w.butSaveClick();
        FAIL() << "saving into a folder succeeded";
    } catch (const KeloError& error) {
        EXPECT_EQ(error.text(), "Unable to write to " + dir.mainIni());
    }
    EXPECT_TRUE(w.isVisible());
}

TEST_F(SetupFixture, FailedLoadIsReportedAndEndsTheDialog)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("Main.ini")); // a folder where the file should be
    TSetupF w(context);
    w.show();
    EXPECT_EQ(dialogs.errors, QStringList{"Unable to write to " + dir.mainIni()});
    QCoreApplication::processEvents();
    EXPECT_FALSE(w.isVisible()) << "the design values must not pass for stored settings";
    EXPECT_EQ(w.result(), QDialog::Rejected);
}

TEST_F(SetupFixture, DelayThatIsNoWholeNumberFromOneMsToAnHourIsRefusedAndNothingWritten)
{
    TSetupF w(context);
    w.show();
    const QByteArray shown = readBytes(dir.mainIni());
    const char* refused[] = {"abc", "0", "-5", "1.5", "", " ", "3600001", "2147483647"};
    for (const char* text : refused) {
        dialogs.clear();
        edtSec(w)->setText(QString::fromUtf8(text));
        w.butSaveClick();
        ASSERT_EQ(dialogs.messages.size(), 1u) << text;
        EXPECT_TRUE(dialogs.messages[0].text.startsWith("Delay Timer에는 1 이상 3600000 이하의 정수(msec, 최대 1시간)를 입력하세요"))
            << dialogs.messages[0].text.toStdString();
        EXPECT_EQ(readBytes(dir.mainIni()), shown) << text;
        EXPECT_TRUE(w.isVisible()) << text;
    }
    dialogs.clear();
    edtSec(w)->setText("1");
    w.butSaveClick();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(readBytes(dir.mainIni()).endsWith("[Delay]\r\nTime=1\r\n"));
    EXPECT_FALSE(w.isVisible());
}

TEST_F(SetupFixture, ShowsThePollsTimeOnTheWireAndWarnsOfAShorterDelay)
{
    writeBytes(dir.mainIni(), "[ComPort1]\r\nCustomBaudRate=0x1C200\r\n[Delay]\r\nTime=20\r\n");
    TSetupF w(context);
    w.show();
    auto* wire = w.findChild<QLabel*>("labWire");
    auto* warning = w.findChild<QLabel*>("labWarning");
    struct Case {
        const char* baud;
        const char* parity;
        const char* data;
        const char* stop;
        const char* delay;
        int millis;
        bool warned;
    };
    const Case cases[] = {
        {"9600", "None", "8", "1", "20", 33, true},   // 32 characters of 10 bits
        {"9600", "None", "8", "1", "34", 33, false},
        {"1200", "Even", "7", "2", "250", 293, true}, // 11 bits each
        {"115200", "Odd", "8", "1.5", "20", 3, false},
        {"Custom", "None", "8", "1", "2", 3, true},   // 0x1C200 = 115200 from Main.ini
        {"9600", "None", "8", "1", "abc", 33, false},  // refused at saving instead
    };
    for (const Case& c : cases) {
        list(w, 2)->setText(c.baud);
        list(w, 3)->setText(c.parity);
        list(w, 4)->setText(c.data);
        list(w, 5)->setText(c.stop);
        edtSec(w)->setText(c.delay);
        EXPECT_EQ(wire->text(), QStringLiteral("요청과 응답(16+16바이트) 전송 시간: 약 %1 msec").arg(c.millis))
            << c.baud << " " << c.delay;
        EXPECT_EQ(!warning->text().isEmpty(), c.warned) << c.baud << " " << c.delay;
    }
    // A warning refuses nothing.
    list(w, 2)->setText("9600");
    edtSec(w)->setText("20");
    w.butSaveClick();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(readBytes(dir.mainIni()).contains("[Delay]\r\nTime=20\r\n"));
}
