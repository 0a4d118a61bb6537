// Recording while the record file's disk fills up, the file is deleted, its
// folder turns read-only or disappears: no sample line is lost, none is torn,
// and the operator is told once per outage. The record file lies on a small
// tmpfs of its own (skipped where mounting is not permitted).
#include "tests/monitoring/MonitoringWindowFixture.h"
#include "tests/support/SmallDisk.h"

#include <QRegularExpression>
#include <functional>

namespace {

constexpr int kChannels = 500; // lines of about 1 kB, so a few of them outgrow a file's last page

struct RecordFault {
    const char* name;
    const char* recordName;                      // relative to the small disk
    std::function<bool(SmallDisk&, const QString& record)> inject;
    std::function<bool(SmallDisk&, const QString& record)> heal;
    bool reported;                               // the operator is told
    bool earlierLinesGo;                         // the lines before the fault went with the file
};

const RecordFault kFaults[] = {
    {"DiskFull", "run.kmr", [](SmallDisk& d, const QString&) { return d.fill(); },
     [](SmallDisk& d, const QString&) { return d.makeRoom(); }, true, false},
    {"FolderMadeReadOnly", "run.kmr", [](SmallDisk& d, const QString&) { return d.setReadOnly(true); },
     [](SmallDisk& d, const QString&) { return d.setReadOnly(false); }, true, false},
    {"FolderDeleted", "sub/run.kmr",
     [](SmallDisk& d, const QString&) { return QDir(d.file(QStringLiteral("sub"))).removeRecursively(); },
     [](SmallDisk& d, const QString&) { return QDir().mkpath(d.file(QStringLiteral("sub"))); }, true, true},
    // Made again at once, header line first; what was in it went with it.
    {"RecordFileDeleted", "run.kmr", [](SmallDisk&, const QString& record) { return QFile::remove(record); },
     [](SmallDisk&, const QString&) { return true; }, false, true},
};

QByteArray manyChannelSet()
{
    QByteArray bytes = "Disk;1000\r\n";
    for (int c = 1; c <= kChannels; ++c)
        bytes += QByteArray::number(c % 100).rightJustified(2, '0') + ";C" + QByteArray::number(c)
            + ";0001;1;100;0;255\r\n";
    return bytes;
}

class RecordOnSmallDisk : public MonitoringWindowTest {
protected:
    SmallDisk disk;

    // The line the sampling tick at `time` writes: every channel is still "0".
    static QByteArray lineAt(const QDateTime& time)
    {
        QByteArray line = time.toString(QStringLiteral("yyyyMMdd/HHmmss")).toLatin1() + ';';
        for (int c = 0; c < kChannels; ++c)
            line += "0;";
        return line + "\r\n";
    }

    QByteArray sample(QByteArray& expected)
    {
        now = now.addSecs(1);
        window->tmSamplingTimer();
        expected += lineAt(now);
        return expected;
    }
};

class RecordFaults : public RecordOnSmallDisk, public ::testing::WithParamInterface<RecordFault> {};
using StoppedWhileFull = RecordOnSmallDisk;

// Every line of the file is whole: the header, then complete sample lines.
void expectWholeLines(const QByteArray& bytes, int tick)
{
    if (bytes.isEmpty())
        return; // no file (yet): nothing torn
    EXPECT_TRUE(bytes.startsWith("set.khd\r\n")) << "tick " << tick;
    EXPECT_TRUE(bytes.endsWith("\r\n")) << "tick " << tick << ": ends in a torn line";
    static const QRegularExpression whole(QStringLiteral("^\\d{8}/\\d{6};(0;){%1}$").arg(kChannels));
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype i = 1; i + 1 < lines.size(); ++i)
        EXPECT_TRUE(whole.match(QString::fromLatin1(lines[i].chopped(1))).hasMatch()) << "tick " << tick << " line "
                                                                                     << i + 1;
}

} // namespace

TEST_P(RecordFaults, NoSampleLineIsLostOrTornAndTheOperatorIsToldOnce)
{
    const RecordFault& fault = GetParam();
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.why().toStdString();
    const QString record = disk.file(QString::fromLatin1(fault.recordName));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(record).absolutePath()));
    open();
    load(manyChannelSet());
    start(record);

    QByteArray expected = "set.khd\r\n";
    for (int t = 0; t < 3; ++t)
        sample(expected);
    ASSERT_EQ(readBytes(record), expected);

    ASSERT_TRUE(fault.inject(disk, record)) << fault.name;
    if (fault.earlierLinesGo)
        expected = "set.khd\r\n";
    for (int t = 1; t <= 6; ++t) {
        sample(expected);
        expectWholeLines(readBytes(record), t);
    }
    showPostedBoxes();
    if (fault.reported) {
        ASSERT_EQ(dialogs.errors.size(), 1) << dialogs.errors.join('|').toStdString();
        EXPECT_TRUE(dialogs.errors[0].contains(record)) << dialogs.errors[0].toStdString();
        EXPECT_TRUE(dialogs.errors[0].contains(QStringLiteral("차례대로 기록합니다"))) << dialogs.errors[0].toStdString();
        EXPECT_EQ(panel(0), QStringLiteral("기록불량"));
    } else {
        EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('|').toStdString();
    }

    ASSERT_TRUE(fault.heal(disk, record)) << fault.name;
    sample(expected);
    EXPECT_EQ(readBytes(record), expected) << "lines kept back are written in order at the next tick";
    sample(expected);
    EXPECT_EQ(readBytes(record), expected);
    EXPECT_EQ(dialogs.errors.size(), fault.reported ? 1 : 0);

    window->bbtStartClick();
    EXPECT_TRUE(window->FormCloseQuery());
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messageTexts().join('|').toStdString();
}

// Stopped while the disk is still full: the lines wait, Stop tries once more,
// and closing asks before it lets them go.
TEST_F(StoppedWhileFull, LinesStillKeptBackAtStopAreWrittenWhenTheDiskHasRoomAgain)
{
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.why().toStdString();
    const QString record = disk.file(QStringLiteral("run.kmr"));
    open();
    load(manyChannelSet());
    start(record);
    QByteArray expected = "set.khd\r\n";
    sample(expected);
    ASSERT_TRUE(disk.fill());
    for (int t = 1; t <= 6; ++t)
        sample(expected);
    window->bbtStartClick(); // Stop
    const QByteArray written = readBytes(record);
    expectWholeLines(written, 0);
    // The file's last block took the first lines; the rest wait.
    const qsizetype waiting = expected.count('\n') - written.count('\n');
    ASSERT_GT(waiting, 0);
    dialogs.answers = {MsgResult::No};
    EXPECT_FALSE(window->FormCloseQuery());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("%1줄").arg(waiting)))
        << dialogs.messages[0].text.toStdString();

    ASSERT_TRUE(disk.makeRoom());
    dialogs.messages.clear();
    EXPECT_TRUE(window->FormCloseQuery());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(readBytes(record), expected);
}

INSTANTIATE_TEST_SUITE_P(Faults, RecordFaults, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<RecordFault>& info) { return std::string(info.param.name); });
