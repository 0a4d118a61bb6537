#include "settings/FuncP.h"
#include "tests/support/Files.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>
#include <vector>

TEST(HexWordToInt, DecodesWordsAndRejectsAnythingButUpperHex)
{
    const struct { const char* text; int value; } cases[] = {
        {"0064", 100}, {"7FFF", 32767}, {"8000", -32768}, {"FFFF", -1}, {"00FF", 255},
        {"1", 1}, {"", 0}, {"ffff", BadHexValue}, {"00G0", BadHexValue}, {" 064", BadHexValue},
        {"-001", BadHexValue}, {"12345", 9029}, {"G1234", BadHexValue}, {"04d2", BadHexValue},
        {"04D2", 1234}, {"FFF6", -10},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HexWordToInt(QString::fromLatin1(c.text)), c.value) << c.text;
}

TEST(PadLeft, TrimsThenFillsButNeverCuts)
{
    EXPECT_EQ(PadLeft("5", "0", 2), "05");
    EXPECT_EQ(PadLeft(" 7 ", "0", 4), "0007");
    EXPECT_EQ(PadLeft("123", "0", 2), "123");
    EXPECT_EQ(PadLeft("", "0", 2), "00");
    EXPECT_EQ(PadLeft("\t1\r\n", "0", 2), "01");
    EXPECT_EQ(PadLeft("A", "0", 2), "0A");
}

TEST(GetField, SplitsAtSemicolonsAndFallsBackToTheLastField)
{
    const struct { const char* text; int field; const char* expected; } cases[] = {
        {"a;b;c", 1, "a"}, {"a;b;c", 2, "b"}, {"a;b;c", 3, "c"}, {"a;b;c", 4, "c"},
        {"a;b;c", 0, "c"}, {"a;b;c", -1, "c"}, {"a;b;", 3, ""}, {"a;b;", 9, ""},
        {"abc", 1, "abc"}, {"01;Zone;0001", 4, "0001"}, {"", 1, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetField(QString::fromLatin1(c.text), c.field), QString::fromLatin1(c.expected))
            << c.text << " field " << c.field;
}

TEST(ProgramPath, EndsWithTheSeparator)
{
    SetProgramPath(QStringLiteral("/tmp"));
    EXPECT_EQ(ProgramPath, "/tmp/");
    EXPECT_EQ(MainIniPath(), "/tmp/Main.ini");
    EXPECT_EQ(MonitorDir(), "/tmp/Monitor");
}

// Sets or unsets environment variables for one test and restores them after.
class ScopedEnv {
public:
    void set(const char* name, const char* value)
    {
        m_saved.push_back({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        if (value)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
    ~ScopedEnv()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->wasSet)
                qputenv(it->name, it->value);
            else
                qunsetenv(it->name);
        }
    }

private:
    struct Saved { const char* name; QByteArray value; bool wasSet; };
    std::vector<Saved> m_saved;
};

TEST(ProgramPath, InstalledProgramKeepsItsFilesInTheUsersDataFolder)
{
    const struct { const char* xdgDataHome; const char* expected; } cases[] = {
        {"/srv/data", "/srv/data/kelomon"},
        {"/srv/data/", "/srv/data/kelomon"},
        {nullptr, "/home/op/.local/share/kelomon"},
        {"", "/home/op/.local/share/kelomon"},
        {"relative/data", "/home/op/.local/share/kelomon"}, // not absolute: ignored
    };
    for (const auto& c : cases) {
        ScopedEnv env;
        env.set("HOME", "/home/op");
        env.set("XDG_DATA_HOME", c.xdgDataHome);
        EXPECT_EQ(installedProgramDir(), QString::fromLatin1(c.expected))
            << (c.xdgDataHome ? c.xdgDataHome : "(unset)");
        EXPECT_EQ(programDirFor(QStringLiteral("/usr/bin")), QString::fromLatin1(c.expected));
    }
}

TEST(ProgramPath, WritableProgramFolderKeepsItsFiles)
{
    QTemporaryDir exeDir;
    EXPECT_FALSE(isInstalledProgramDir(exeDir.path()));
    EXPECT_EQ(programDirFor(exeDir.path()), exeDir.path());

    // The test program's own folder is a build folder: portable, nothing made elsewhere.
    QTemporaryDir data;
    ScopedEnv env;
    env.set("XDG_DATA_HOME", QFile::encodeName(data.path()).constData());
    SetProgramPath();
    EXPECT_EQ(ProgramPath, QCoreApplication::applicationDirPath() + "/");
    EXPECT_FALSE(QFileInfo::exists(data.filePath("kelomon")));
}

TEST(ProgramPath, SystemAndReadOnlyFoldersCountAsInstalled)
{
    EXPECT_TRUE(isInstalledProgramDir(QStringLiteral("/usr/bin")));
    EXPECT_TRUE(isInstalledProgramDir(QStringLiteral("/bin")));
    EXPECT_TRUE(isInstalledProgramDir(QStringLiteral("/no/such/folder")));
    QTemporaryDir exeDir;
    QFile::setPermissions(exeDir.path(), QFile::ReadOwner | QFile::ExeOwner);
    // Root writes any folder; its case is the system folders above.
    if (::geteuid() != 0) {
        EXPECT_TRUE(isInstalledProgramDir(exeDir.path()));
    }
    QFile::setPermissions(exeDir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST(ProgramPath, FirstStartCreatesTheFolderAndNeverTouchesWhatIsThere)
{
    QTemporaryDir home;
    const QString dir = home.filePath(".local/share/kelomon");
    ASSERT_TRUE(createProgramDir(dir));
    EXPECT_EQ(readBytes(dir + "/Main.ini"), QByteArray());

    writeBytes(dir + "/Main.ini", "[ComPort1]\r\nPort=ttyUSB0\r\n");
    ASSERT_TRUE(createProgramDir(dir));
    EXPECT_EQ(readBytes(dir + "/Main.ini"), QByteArray("[ComPort1]\r\nPort=ttyUSB0\r\n"));

    // A home that cannot be written is reported, not fatal.
    writeBytes(home.filePath("blocked"), "a file where a folder should be");
    EXPECT_FALSE(createProgramDir(home.filePath("blocked/kelomon")));
}

TEST(IniReadOrWrite, MissingOrEmptyKeyGetsTheDefaultWrittenBack)
{
    ProgramDir dir;
    EXPECT_EQ(IniReadOrWrite(true, MainIniPath(), "Delay", "Time", "200"), "200");
    EXPECT_EQ(readBytes(dir.mainIni()), QByteArray("[Delay]\r\nTime=200\r\n"));

    writeBytes(dir.mainIni(), "[Delay]\r\nTime=\r\n");
    EXPECT_EQ(IniReadOrWrite(true, MainIniPath(), "Delay", "Time", "200"), "200");
    EXPECT_EQ(readBytes(dir.mainIni()), QByteArray("[Delay]\r\nTime=200\r\n"));

    writeBytes(dir.mainIni(), "[Delay]\r\nTime=50\r\n");
    EXPECT_EQ(IniReadOrWrite(true, MainIniPath(), "Delay", "Time", "200"), "50");
    EXPECT_EQ(readBytes(dir.mainIni()), QByteArray("[Delay]\r\nTime=50\r\n"));

    EXPECT_EQ(IniReadOrWrite(false, MainIniPath(), "Delay", "Time", "abc"), "abc");
    EXPECT_EQ(readBytes(dir.mainIni()), QByteArray("[Delay]\r\nTime=abc\r\n"));
}

#include "settings/Convert.h"
#include "settings/KeloError.h"

TEST(StrToInt, AcceptsBlanksSignAndDigitsOnly)
{
    const struct { const char* text; std::optional<int> value; } cases[] = {
        {"200", 200}, {"  -100", -100}, {"+7", 7}, {"0", 0}, {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1}, {"2147483648", std::nullopt}, {"", std::nullopt},
        {"abc", std::nullopt}, {"12 ", std::nullopt}, {"1.5", std::nullopt}, {"-", std::nullopt},
        {"0x10", std::nullopt}, {"\t1", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseInt32(QString::fromLatin1(c.text)), c.value) << c.text;
    try {
        (void)StrToInt("abc");
        FAIL();
    } catch (const KeloError& e) {
        EXPECT_EQ(e.text(), "'abc' is not a valid integer value");
    }
}
