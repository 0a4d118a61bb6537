// kelorec's serial line: Main.ini's keys and the line options go through one
// check, and a value nobody can mean ends the start (status 2, naming the
// key) instead of quietly becoming 9600,None,8,1.
#include "recorder/Recorder.h"
#include "tests/link/PtyPair.h"
#include "tests/support/Files.h"

#include <QDir>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace {

const QByteArray kSet = "Kiln;1000\r\n01;Z1;0001;1;1200;-100;255\r\n";
const QByteArray kNoFile = "<none>";
const QByteArray kFolder = "<folder>";

struct Case {
    QByteArray mainIni;   // kNoFile: none; kFolder: a folder in its place (unreadable as a file)
    QStringList args;     // options before the set file; "PORT" stands for the pseudo-terminal
    QString says;         // in the refusal, or in the start line when accepted
    int speed = 0;        // accepted: the line as the device sees it
    bool parOdd = false;
    int stopBits = 1;
};

} // namespace

TEST(KelorecLine, LineSettingsFromMainIniAndOptionsAreCheckedNeverReplaced)
{
    const QList<Case> cases = {
        // Refused, naming the key or the option.
        {"[ComPort1]\r\nBaudRate=12345abc\r\n", {}, "BaudRate in [ComPort1] of"},
        {"[ComPort1]\r\nBaudRate=9601\r\n", {}, "BaudRate in [ComPort1] of"},
        {"[ComPort1]\r\nParity=Weird\r\n", {}, "Parity in [ComPort1] of"},
        {"[ComPort1]\r\nDataBits=9\r\n", {}, "DataBits in [ComPort1] of"},
        {"[ComPort1]\r\nStopBits=3\r\n", {}, "StopBits in [ComPort1] of"},
        {"[ComPort1]\r\nBaudRate=Custom\r\n", {}, "CustomBaudRate is \"\""},
        {QByteArray("\x00\xff\xfe\x01garbage\r\n\x02", 13), {}, "line 1 is no setting"},
        {"\xef\xbb\xbf[ComPort1]\r\nBaudRate=19200\r\n", {}, "line 1 is no setting"},
        {"", {"--baud", "12345abc"}, "--baud takes"},
        {"", {"--baud", "custom"}, "--baud takes"},
        {"", {"--parity", "Weird"}, "--parity takes None, Odd, Even, Mark or Space, not \"Weird\""},
        {"", {"--data-bits", "9"}, "--data-bits takes 5, 6, 7 or 8"},
        {"", {"--stop-bits", "3"}, "--stop-bits takes 1, 1.5 or 2"},
        {"", {"--line", "9600,None,8"}, "--line takes BAUD,PARITY,DATA-BITS,STOP-BITS"},
        {"", {"--line", "9600,None,8,3"}, "StopBits takes 1, 1.5 or 2, not \"3\""},
        {"", {"--program-dir", "/nonexistent/kelo"}, "--program-dir /nonexistent/kelo: no such folder"},
        // Accepted: the start line says where the settings came from.
        {"[ComPort1]\r\nBaudRate=19200\r\nParity=odd\r\nStopBits=2\r\n", {"--port", "PORT"},
         "19200,Odd,8,2 from ", 19200, true, 2},
        {"[ComPort1]\r\nBaudRate=custom\r\nCustomBaudRate=0x3E8\r\n", {"--port", "PORT"}, "1000,None,8,1 from ", 1000},
        {"[ComPort1]\r\nBaudRate=12345abc\r\n", {"--port", "PORT", "--line", "4800,Odd,7,2"},
         "4800,Odd,7,2 from the options", 4800, true, 2},
        {"", {"--port", "PORT", "--baud", "1000", "--stop-bits", "2"}, "1000,None,8,2 from the options and defaults for",
         1000, false, 2},
        {kNoFile, {"--port", "PORT"}, "9600,None,8,1 from defaults, as ", 9600},
        {kFolder, {"--port", "PORT"}, "cannot be read", 9600},
        {kNoFile, {}, "port /dev/COM1 (the default: no --port, and "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.mainIni.left(40) + " | " + c.args.join(' ').toUtf8()).toStdString());
        PtyPair line;
        QTemporaryDir dir;
        writeBytes(dir.filePath("kiln.khd"), kSet);
        if (c.mainIni == kFolder)
            ASSERT_TRUE(QDir(dir.path()).mkdir("Main.ini"));
        else if (c.mainIni != kNoFile)
            writeBytes(dir.filePath("Main.ini"), c.mainIni);
        QStringList args{"--program-dir", dir.path()};
        for (const QString& a : c.args)
            args << (a == "PORT" ? line.slavePath() : a);
        const RecorderArguments parsed = parseRecorderArguments(args << dir.filePath("kiln.khd"));
        if (!parsed.error.isEmpty()) {
            EXPECT_TRUE(parsed.error.contains(c.says)) << parsed.error.toStdString();
            EXPECT_EQ(c.speed, 0) << "refused: " << parsed.error.toStdString();
            continue;
        }
        QStringList log;
        Recorder r(parsed.options, systemClock(), Regional::plain(), [&](const QString& l) { log << l; });
        const QString refusal = r.prepare();
        if (c.speed == 0 && !c.says.startsWith("port ")) {
            EXPECT_TRUE(refusal.contains(c.says)) << refusal.toStdString();
            continue;
        }
        ASSERT_EQ(refusal, "");
        r.start(false);
        EXPECT_TRUE(log.filter("recording:").value(0).contains(c.says)) << log.join('\n').toStdString();
        if (c.speed > 0) {
            const PtyPair::Line seen = line.line();
            EXPECT_EQ(seen.speed, c.speed);
            EXPECT_EQ(seen.parOdd, c.parOdd);
            EXPECT_EQ(seen.stopBits, c.stopBits);
        }
        EXPECT_EQ(r.finish(), 0);
    }
}

// Every option reads the same as "--name value" and as "--name=value"; a
// missing value, an empty discovery prefix and the number of set files are
// named.
TEST(KelorecOptions, BothFormsReadAlikeAndWhatIsMissingIsNamed)
{
    struct OptionCase {
        QStringList args;
        QString error; // empty: accepted
        std::function<bool(const RecorderOptions&)> holds = {};
    };
    const QList<OptionCase> cases = {
        {{"--delay=250", "--timeout", "900", "k.khd"}, "",
         [](const RecorderOptions& o) { return o.delayMs == 250 && o.responseTimeoutMs == 900; }},
        {{"--pace=reply", "--rotate", "daily", "k.khd"}, "",
         [](const RecorderOptions& o) { return o.pace == RecorderOptions::Pace::Reply && o.rotateDaily; }},
        {{"--line=19200,Odd,7,2", "--parity", "Even", "k.khd"}, "",
         [](const RecorderOptions& o) { return o.lineSettings.size() == 5 && o.lineSettings.last().second == "Even"; }},
        {{"--out=/o", "--port", "/dev/x", "--mqtt-unit=°C", "k.khd"}, "",
         [](const RecorderOptions& o) { return o.outDir == "/o" && o.port == "/dev/x" && o.mqttUnit == "°C"; }},
        {{"--mqtt-discovery", "k.khd"}, "",
         [](const RecorderOptions& o) { return o.mqttDiscovery == "homeassistant" && o.setPath == "k.khd"; }},
        {{"--mqtt-discovery=ha", "--verbose", "k.khd"}, "",
         [](const RecorderOptions& o) { return o.mqttDiscovery == "ha" && o.verbose; }},
        {{"k.khd", "--timeout"}, "--timeout needs a value"},
        {{"k.khd", "--port"}, "--port needs a value"},
        {{"--pace=", "k.khd"}, "--pace takes"},
        {{"--delay=x", "k.khd"}, "--delay takes a whole number of milliseconds from 1 to"},
        {{"--mqtt-discovery=", "k.khd"}, "--mqtt-discovery= needs a prefix"},
        {{"a.khd", "b.khd"}, "one channel set file, not 2"},
        {{"--conf", "/nonexistent/kelorec.conf", "k.khd"}, "/nonexistent/kelorec.conf does not exist"},
        {{"-x", "k.khd"}, "unknown option -x"},
    };
    for (const OptionCase& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const RecorderArguments parsed = parseRecorderArguments(c.args);
        if (!c.error.isEmpty()) {
            EXPECT_TRUE(parsed.error.startsWith(c.error)) << parsed.error.toStdString();
            continue;
        }
        EXPECT_EQ(parsed.error, "");
        EXPECT_TRUE(c.holds(parsed.options));
    }
    const RecorderArguments help = parseRecorderArguments({"--help"});
    EXPECT_TRUE(help.help);
    EXPECT_EQ(help.error, "") << "--help alone needs no set file";
}
