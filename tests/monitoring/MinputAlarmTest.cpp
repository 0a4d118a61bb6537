// The channel set editor's alarm limits: the dialog of the selected row,
// what it refuses, and the alarm file saved and read beside the set.
#include "alarms/AlarmDefDialog.h"
#include "monitoring/MinputP.h"
#include "settings/FuncP.h"
#include "tests/support/Files.h"
#include "tests/support/ScriptedDialogs.h"
#include "widgets/AppContext.h"
#include "widgets/ColumnGrid.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

const QByteArray kSet = "Furnace;1000\r\n01;Zone 1;0001;1;1200;0;255\r\n02;Zone 2;0002;1;1200;0;65280\r\n";

struct Limits {
    const char* high;
    const char* low;
    const char* hysteresis;
    const char* delay;
    int priority; // 0 경보, 1 주의
};

class EditorAlarms : public ::testing::Test {
protected:
    ProgramDir dir;
    ScriptedDialogs dialogs;
    AppContext context{dialogs};
    TMinputF w{context};

    void SetUp() override { QDir().mkpath(MonitorDir()); }
    QString monitorFile(const QString& name) const { return MonitorDir() + QLatin1Char('/') + name; }

    void open(const QString& path)
    {
        dialogs.openNames.push_back(path);
        w.butOpenClick();
    }
    void save(const QString& path)
    {
        dialogs.answers.push_back(MsgResult::Yes);
        dialogs.saveNames.push_back(path);
        w.butSaveClick();
    }
    // Opens the limits of a row; the dialog is open without a nested loop.
    AlarmDefDialog* limitsOf(int row)
    {
        auto* grid = w.findChild<ColumnGrid*>("acGrd1");
        grid->setCurrentCell(row, 2);
        w.findChild<QToolButton*>("spbAlarm")->click();
        auto* dialog = w.findChild<AlarmDefDialog*>();
        EXPECT_TRUE(dialog && dialog->isVisible());
        return dialog;
    }
    static QLineEdit* edit(AlarmDefDialog* d, const char* name) { return d->findChild<QLineEdit*>(name); }
    // Enters the limits and presses 확인; returns what the dialog says ("" when it closed).
    QString enter(AlarmDefDialog* d, const Limits& l)
    {
        edit(d, "edtHigh")->setText(QString::fromUtf8(l.high));
        edit(d, "edtLow")->setText(QString::fromUtf8(l.low));
        edit(d, "edtHysteresis")->setText(QString::fromUtf8(l.hysteresis));
        edit(d, "edtDelay")->setText(QString::fromUtf8(l.delay));
        d->findChild<QComboBox*>("cmbPriority")->setCurrentIndex(l.priority);
        d->findChild<QPushButton*>("butOk")->click();
        const QString said = d->isVisible() ? d->findChild<QLabel*>("labProblem")->text() : QString();
        closed();
        return said;
    }
    // A closed dialog deletes itself.
    static void closed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
};

} // namespace

TEST_F(EditorAlarms, LimitsEnteredForARowAreSavedBesideTheSetOrRefusedInTheDialog)
{
    const struct {
        Limits limits;
        const char* refusal; // "" when accepted
        const char* section; // of the alarm file, "" for no file
    } cases[] = {
        {{"850", "", "2.5", "5", 0}, "",
         "[Channel 2]\nAddr=02\nReg=0002\nHigh=850\nLow=\nHysteresis=2.5\nDelay=5\nPriority=alarm\n"},
        {{" ", "-10.5", "0", "0", 1}, "",
         "[Channel 2]\nAddr=02\nReg=0002\nHigh=\nLow=-10.5\nHysteresis=0\nDelay=0\nPriority=warning\n"},
        {{"", "", "", "", 0}, "", ""}, // no limit left: no alarm file
        {{"100", "100", "1", "5", 0}, "상한은 하한보다 커야 합니다.", nullptr},
        {{"85,5", "", "1", "5", 0}, "상한은 '.' 소수점 숫자이거나 비어 있어야 합니다.", nullptr},
        {{"", "x", "1", "5", 0}, "하한은 '.' 소수점 숫자이거나 비어 있어야 합니다.", nullptr},
        {{"850", "", "-1", "5", 0}, "히스테리시스는 0 이상의 숫자여야 합니다.", nullptr},
        {{"850", "", "1", "86401", 0}, "지연은 0부터 86400까지의 정수(초)여야 합니다.", nullptr},
        {{"850", "", "1", "1.5", 0}, "지연은 0부터 86400까지의 정수(초)여야 합니다.", nullptr},
    };
    const QString setPath = monitorFile("furnace.khd");
    const QString alarmPath = monitorFile("furnace.alarms.ini");
    writeBytes(setPath, kSet);
    w.show();
    open(setPath);
    for (const auto& c : cases) {
        AlarmDefDialog* dialog = limitsOf(2);
        const QString said = enter(dialog, c.limits);
        EXPECT_EQ(said, QString::fromUtf8(c.refusal)) << c.limits.high << "/" << c.limits.low;
        if (!c.section) {
            dialog->reject();
            closed();
            continue;
        }
        save(setPath);
        EXPECT_EQ(readBytes(setPath), kSet); // the set's own bytes stay as they were
        if (*c.section == 0) {
            EXPECT_FALSE(QFile::exists(alarmPath));
        } else {
            const QByteArray written = readBytes(alarmPath);
            EXPECT_TRUE(written.startsWith("; Alarm limits of the channel set furnace.khd"));
            EXPECT_EQ(written.mid(written.indexOf('\n') + 1), QByteArray(c.section)) << c.limits.high;
        }
    }
    for (const auto& m : dialogs.messages) // only the save questions: no box about alarms
        EXPECT_EQ(m.text, QString::fromUtf8("저장하시겠습니까?"));
}

// Reading a set reads its limits; a broken alarm file is said once and kept
// on disk until the operator changes a limit and saves.
TEST_F(EditorAlarms, OpeningReadsTheLimitsAndABrokenFileIsKeptUntilLimitsAreSaved)
{
    const QString setPath = monitorFile("furnace.khd");
    const QString alarmPath = monitorFile("furnace.alarms.ini");
    writeBytes(setPath, kSet);
    writeBytes(alarmPath, "[Channel 1]\r\nAddr=01\r\nReg=0001\r\nHigh=\r\nLow=20\r\nHysteresis=1.5\r\nDelay=30\r\n"
                          "Priority=warning\r\n");
    w.show();
    open(setPath);
    AlarmDefDialog* dialog = limitsOf(1);
    EXPECT_EQ(edit(dialog, "edtHigh")->text(), "");
    EXPECT_EQ(edit(dialog, "edtLow")->text(), "20");
    EXPECT_EQ(edit(dialog, "edtHysteresis")->text(), "1.5");
    EXPECT_EQ(edit(dialog, "edtDelay")->text(), "30");
    EXPECT_EQ(dialog->findChild<QComboBox*>("cmbPriority")->currentText(), QString::fromUtf8("주의"));
    dialog->reject();
    closed();
    // The row's caption is drawn in the priority's colour while it has limits.
    EXPECT_TRUE(w.findChild<ColumnGrid*>("acGrd1")->textColor(1, 3).isValid());
    EXPECT_FALSE(w.findChild<ColumnGrid*>("acGrd1")->textColor(2, 3).isValid());

    const QByteArray broken = "[Channel 1]\nAddr=07\nReg=0001\nHigh=900\n";
    writeBytes(alarmPath, broken);
    open(setPath);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.contains("furnace.alarms.ini")) << dialogs.messages[0].text.toStdString();
    EXPECT_EQ(edit(limitsOf(1), "edtHigh")->text(), "");
    w.findChild<AlarmDefDialog*>()->reject();
    closed();
    // A change to the set alone leaves the broken file as it is.
    w.findChild<QLineEdit*>("edtTitle")->setText("Furnace B");
    save(setPath);
    EXPECT_EQ(readBytes(alarmPath), broken);
    // Limits entered and saved replace it.
    EXPECT_EQ(enter(limitsOf(1), {"900", "", "1", "5", 0}), "");
    save(setPath);
    EXPECT_EQ(readBytes(alarmPath).mid(readBytes(alarmPath).indexOf('\n') + 1),
              "[Channel 1]\nAddr=01\nReg=0001\nHigh=900\nLow=\nHysteresis=1\nDelay=5\nPriority=alarm\n");
}
