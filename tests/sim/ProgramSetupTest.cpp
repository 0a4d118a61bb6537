#include "sim/ProgramSetup.h"

#include "monitoring/ChannelSet.h"
#include "settings/AnsiText.h"
#include "tests/support/Files.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Dir {
    QTemporaryDir tmp;
    [[nodiscard]] QString path(const char* name) const { return tmp.filePath(QString::fromUtf8(name)); }
    [[nodiscard]] QString link() const { return path("kelosim.tty"); }
};

} // namespace

TEST(ProgramSetup, FreshDirectoryGetsMainIniAndSampleSetByteForByte)
{
    Dir d;
    EXPECT_EQ(prepareProgramDir(d.tmp.path(), d.link()), d.link());

    const QByteArray ini = "[ComPort1]\r\nPort=" + QFile::encodeName(d.link())
        + "\r\nBaudRate=9600\r\nParity=None\r\nDataBits=8\r\nStopBits=1\r\n"
          "[Delay]\r\nTime=200\r\n";
    EXPECT_EQ(readBytes(d.path("Main.ini")), ini);

    // Code page 949 bytes of "샘플 가열로" and "1존" / "2존", CR LF lines.
    const QByteArray title = toAnsi(QStringLiteral("샘플 가열로"));
    ASSERT_EQ(title, QByteArray("\xBB\xF9\xC7\xC3 \xB0\xA1\xBF\xAD\xB7\xCE"));
    const QByteArray zone1 = toAnsi(QStringLiteral("1존")), zone2 = toAnsi(QStringLiteral("2존"));
    const QByteArray khd = title + ";1000\r\n"
        + "01;" + zone1 + " PV;0001;1;1200;-100;255\r\n"
        + "01;" + zone1 + " SV;0301;1;1200;-100;33023\r\n"
        + "02;" + zone2 + " PV;0001;1;1200;-100;16711680\r\n"
        + "02;" + zone2 + " SV;0301;1;1200;-100;16744448\r\n";
    EXPECT_EQ(readBytes(d.path("Monitor/sample.khd")), khd);
}

TEST(ProgramSetup, ExistingFilesAreKeptAndOnlyMissingKeysAreFilled)
{
    struct Case {
        const char* name;
        QByteArray ini;
        QByteArray expectedIni;     // empty: unchanged
        bool serves;                // the default link is served
    };
    const QByteArray custom = "[ComPort1]\r\nPort=/dev/ttyUSB0\r\nBaudRate=19200\r\n";
    const Case cases[] = {
        {"real port configured", custom, {}, false},
        {"empty port, other keys kept",
         "[ComPort1]\r\nPort=\r\nBaudRate=19200\r\n[Temp]\r\nValue=1\r\n",
         "[ComPort1]\r\nPort=@\r\nBaudRate=19200\r\nParity=None\r\nDataBits=8\r\nStopBits=1\r\n"
         "[Temp]\r\nValue=1\r\n[Delay]\r\nTime=200\r\n",
         true},
        {"no port key, delay kept", "[Delay]\r\nTime=50\r\n",
         "[Delay]\r\nTime=50\r\n[ComPort1]\r\nPort=@\r\nBaudRate=9600\r\nParity=None\r\nDataBits=8\r\n"
         "StopBits=1\r\n",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dir d;
        writeBytes(d.path("Main.ini"), c.ini);
        QDir(d.tmp.path()).mkpath(QStringLiteral("Monitor"));
        writeBytes(d.path("Monitor/sample.khd"), "mine;5\r\n");

        const QString served = prepareProgramDir(d.tmp.path(), d.link());
        EXPECT_EQ(served, c.serves ? d.link() : QString());
        QByteArray expected = c.expectedIni.isEmpty() ? c.ini : c.expectedIni;
        expected.replace("@", QFile::encodeName(d.link()));
        EXPECT_EQ(readBytes(d.path("Main.ini")), expected);
        EXPECT_EQ(readBytes(d.path("Monitor/sample.khd")), QByteArray("mine;5\r\n"));
    }
}

// A Main.ini left by an earlier run points at that run's simulator link:
// the same link is served again and nothing is written.
TEST(ProgramSetup, LinkOfAnEarlierRunIsServedAgain)
{
    Dir d;
    const QByteArray ini = "[ComPort1]\r\nPort=/tmp/elsewhere/kelosim.tty\r\n";
    writeBytes(d.path("Main.ini"), ini);
    EXPECT_EQ(prepareProgramDir(d.tmp.path(), d.link()), QStringLiteral("/tmp/elsewhere/kelosim.tty"));
    EXPECT_EQ(readBytes(d.path("Main.ini")), ini);
    EXPECT_FALSE(QFile::exists(d.path("Monitor/sample.khd")));
}
