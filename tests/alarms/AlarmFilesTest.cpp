// The bytes of the alarm file beside a set and of the alarm log beside a
// record file, and what a broken one of each gives.
#include "alarms/AlarmFile.h"
#include "alarms/AlarmLog.h"
#include "settings/KeloError.h"
#include "tests/support/Files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

ChannelSet furnace()
{
    return {QStringLiteral("Furnace"), QStringLiteral("1000"),
            {{"01", "Zone 1", "0001", "1", "1200", "0", "255"},
             {"02", "Zone 2", "0001", "1", "1200", "0", "255"},
             {"03", "Zone, 3", "0001", "1", "1200", "0", "255"}}};
}

const QByteArray kFile = "; Alarm limits of the channel set Furnace.khd, in each channel's displayed units\n"
                         "[Channel 1]\nAddr=01\nReg=0001\nHigh=850.5\nLow=\nHysteresis=2\nDelay=5\nPriority=alarm\n"
                         "[Channel 3]\nAddr=03\nReg=0001\nHigh=\nLow=-2000000\nHysteresis=0\nDelay=0\nPriority=warning\n";

AlarmSettings furnaceLimits()
{
    AlarmSettings s;
    s.channels.resize(3);
    s.channels[0].high = 850.5;
    s.channels[0].hysteresis = 2;
    s.channels[0].onDelaySeconds = 5;
    s.channels[2].low = -2000000; // written without an exponent, so it reads back
    s.channels[2].priority = AlarmPriority::Warning;
    return s;
}

TEST(AlarmFile, PathsBesideTheSetAndTheRecord)
{
    EXPECT_EQ(alarmFilePath("/m/Furnace.khd"), "/m/Furnace.alarms.ini");
    EXPECT_EQ(alarmFilePath("/m/Furnace"), "/m/Furnace.alarms.ini");
    EXPECT_EQ(alarmFilePath("/m/Furnace.KHD"), "/m/Furnace.KHD.alarms.ini");
    EXPECT_EQ(alarmLogPath("/r/Run_20261210.kmr"), "/r/Run_20261210.alarms.csv");
    EXPECT_EQ(alarmLogPath("/r/Run"), "/r/Run.alarms.csv");
}

TEST(AlarmFile, WrittenBytesReadBackAndNoLimitRemovesTheFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Furnace.alarms.ini");
    writeAlarmFile(path, furnaceLimits(), furnace());
    EXPECT_EQ(readBytes(path), kFile);
    const AlarmFileRead back = readAlarmFile(path, furnace());
    EXPECT_EQ(back.problem, "");
    EXPECT_EQ(back.settings, furnaceLimits());
    // CR LF, comments and names in another case read the same.
    writeBytes(path, QByteArray(kFile)
                         .replace("\n", "\r\n")
                         .replace("[Channel 3]", "; note\r\n[channel 3]")
                         .replace("Priority=warning", "priority=Warning"));
    EXPECT_EQ(readAlarmFile(path, furnace()).settings, furnaceLimits());

    writeAlarmFile(path, AlarmSettings{QList<ChannelAlarmDef>(3)}, furnace());
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(readAlarmFile(path, furnace()).problem, ""); // no file: system alarms only, silently
    EXPECT_TRUE(readAlarmFile(path, furnace()).settings.channels.isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList()); // no temporary file left
}

TEST(AlarmFile, RefusesToWriteWhatCannotBeKept)
{
    QTemporaryDir dir;
    AlarmSettings s = furnaceLimits();
    s.channels[0].low = 900; // above the high limit
    EXPECT_THROW(writeAlarmFile(dir.filePath("a.alarms.ini"), s, furnace()), KeloError);
    EXPECT_THROW(writeAlarmFile(dir.filePath("gone/a.alarms.ini"), furnaceLimits(), furnace()), KeloError);
    EXPECT_FALSE(QFile::exists(dir.filePath("a.alarms.ini")));
}

struct BrokenCase {
    const char* name;
    QByteArray from;
    QByteArray to;
    const char* says; // in the message, besides the file's name
};

TEST(AlarmFile, ABrokenFileGivesSystemAlarmsOnlyAndSaysWhere)
{
    const BrokenCase cases[] = {
        {"register changed in the set", "Reg=0001\nHigh=850.5", "Reg=0002\nHigh=850.5", "4번째 줄"},
        {"channel not in the set", "[Channel 3]", "[Channel 4]", "채널 4"},
        {"comma decimal", "High=850.5", "High=850,5", "High=850,5"},
        {"misspelt name", "Delay=5", "Dealy=5", "Dealy"},
        {"high not above low", "Low=\n", "Low=900\n", "[Channel 1]"},
        {"negative hysteresis", "Hysteresis=2", "Hysteresis=-1", "[Channel 1]"},
        {"delay past a day", "Delay=5", "Delay=86401", "[Channel 1]"},
        {"fractional delay", "Delay=5", "Delay=1.5", "Delay=1.5"},
        {"unknown priority", "Priority=warning", "Priority=urgent", "urgent"},
        {"section twice", "[Channel 3]", "[Channel 1]", "두 번"},
        {"no register", "Reg=0001\nHigh=850.5\n", "High=850.5\n", "Reg"},
        {"not UTF-8", "; Alarm", "; \xFF\xFE Alarm", "UTF-8"},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath("Furnace.alarms.ini");
    for (const BrokenCase& c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray bytes = kFile;
        ASSERT_TRUE(bytes.contains(c.from));
        writeBytes(path, bytes.replace(bytes.indexOf(c.from), c.from.size(), c.to));
        const AlarmFileRead read = readAlarmFile(path, furnace());
        EXPECT_TRUE(read.settings.channels.isEmpty());
        EXPECT_TRUE(read.problem.contains(path)) << read.problem.toStdString();
        EXPECT_TRUE(read.problem.contains(QString::fromUtf8(c.says))) << read.problem.toStdString();
        EXPECT_EQ(readBytes(path), bytes); // never rewritten
    }
}

AlarmTransition transition(int channel, AlarmKind kind, AlarmState state, std::optional<double> value,
                           std::optional<double> limit, const QString& detail = {})
{
    AlarmTransition t;
    t.time = QDateTime(QDate(2026, 12, 10), QTime(4, 20), Qt::OffsetFromUTC, 9 * 3600);
    t.key = {channel, kind};
    t.state = state;
    t.value = value;
    t.limit = limit;
    t.detail = detail;
    return t;
}

TEST(AlarmLog, LinesAreCsvWithOffsetTimesAndReadBack)
{
    QTemporaryDir dir;
    const QString path = alarmLogPath(dir.filePath("Run.kmr"));
    const QList<AlarmTransition> ts = {
        transition(3, AlarmKind::High, AlarmState::ActiveUnacked, 851.2, 850),
        transition(0, AlarmKind::LinkLost, AlarmState::ActiveUnacked, {}, {}, "port gone: \"ttyUSB0\", unplugged"),
    };
    {
        AlarmLog log;
        log.setPath(path);
        QString error;
        EXPECT_TRUE(log.append(ts[0], QStringLiteral("Zone, 3"), &error)) << error.toStdString();
        EXPECT_TRUE(log.append(ts[1], {}, &error)) << error.toStdString();
    }
    EXPECT_EQ(readBytes(path), "time,channel,caption,kind,priority,limit,value,state,detail\n"
                               "2026-12-10T04:20:00+09:00,3,\"Zone, 3\",high,alarm,850,851.2,active_unacked,\n"
                               "2026-12-10T04:20:00+09:00,0,,link_lost,alarm,,,active_unacked,"
                               "\"port gone: \"\"ttyUSB0\"\", unplugged\"\n");
    // The record viewer reads them back and skips (and counts) broken lines.
    writeBytes(path, readBytes(path) + "2026-12-10T04:21:00+09:00,3,x,hot,alarm,,,normal,\nnonsense\n");
    QString problem;
    const QList<AlarmTransition> back = readAlarmLog(path, &problem);
    ASSERT_EQ(back.size(), 2);
    EXPECT_EQ(back[0].key, ts[0].key);
    EXPECT_EQ(back[0].value, 851.2);
    EXPECT_EQ(back[0].limit, 850.0);
    EXPECT_EQ(back[0].time, ts[0].time);
    EXPECT_EQ(back[1].detail, ts[1].detail);
    EXPECT_TRUE(problem.contains("2개")) << problem.toStdString();
}

// A folder that is gone keeps the lines back; they are written, in order,
// once it is there again.
TEST(AlarmLog, LinesThatCannotBeWrittenAreKeptInOrder)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("later/Run.alarms.csv");
    AlarmLog log;
    log.setPath(path);
    QString error;
    EXPECT_FALSE(log.append(transition(1, AlarmKind::High, AlarmState::ActiveUnacked, 2, 1), "a", &error));
    EXPECT_TRUE(error.contains(path)) << error.toStdString();
    EXPECT_FALSE(log.append(transition(1, AlarmKind::High, AlarmState::ReturnedUnacked, 0, 1), "a", &error));
    EXPECT_EQ(log.pendingLines(), 2);
    ASSERT_TRUE(QDir(dir.path()).mkdir("later"));
    EXPECT_TRUE(log.retry(&error));
    const QList<QByteArray> lines = readBytes(path).split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[1].endsWith(",active_unacked,"));
    EXPECT_TRUE(lines[2].endsWith(",returned_unacked,"));
}

} // namespace
