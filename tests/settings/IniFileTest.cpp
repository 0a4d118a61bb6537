#include "settings/AnsiText.h"
#include "settings/FuncP.h"
#include "settings/IniFile.h"
#include "settings/KeloError.h"
#include "tests/support/Files.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct IniFixture : ::testing::Test {
    QTemporaryDir dir;
    QString path = dir.filePath("Main.ini");
    IniFile ini{path};
};

} // namespace

TEST_F(IniFixture, NamesCompareWithoutCaseAndValuesLoseTheirSpaces)
{
    writeBytes(path, "[comport1]\r\n  port =  COM3  \r\nBAUDRATE=19200\r\n");
    EXPECT_EQ(ini.read("ComPort1", "Port"), "COM3");
    EXPECT_EQ(ini.read("COMPORT1", "baudrate"), "19200");
    EXPECT_EQ(ini.read("ComPort1", "Parity"), "");
    EXPECT_EQ(ini.read("Other", "Port"), "");
}

TEST_F(IniFixture, WritesChangeOnlyTheirOwnLine)
{
    const QByteArray before = "; comment\r\n[ComPort1]\r\nPort=COM1\r\nBaudRate=9600\r\n\r\n[Delay]\r\nTime=200\r\n";
    writeBytes(path, before);

    ini.write("comport1", "PORT", "COM7"); // in place, spelling kept
    EXPECT_EQ(readBytes(path), QByteArray("; comment\r\n[ComPort1]\r\nPort=COM7\r\nBaudRate=9600\r\n\r\n[Delay]\r\nTime=200\r\n"));

    ini.write("ComPort1", "Parity", "None"); // new key at the end of its section
    EXPECT_EQ(readBytes(path), QByteArray("; comment\r\n[ComPort1]\r\nPort=COM7\r\nBaudRate=9600\r\nParity=None\r\n\r\n[Delay]\r\nTime=200\r\n"));

    ini.write("Temp", "Value", "0"); // new section at the end of the file
    EXPECT_EQ(readBytes(path), QByteArray("; comment\r\n[ComPort1]\r\nPort=COM7\r\nBaudRate=9600\r\nParity=None\r\n\r\n[Delay]\r\nTime=200\r\n[Temp]\r\nValue=0\r\n"));
}

TEST_F(IniFixture, HandEditedFilesAreReadAndMendedWithoutLoss)
{
    // LF-only lines, no final line end, duplicates, lines outside sections.
    writeBytes(path, "stray=1\n[A]\nk=first\nk=second\n[a]\nk=third\n[B]\nx=1");
    EXPECT_EQ(ini.read("A", "k"), "first");
    EXPECT_EQ(ini.read("", "stray"), "");
    ini.write("B", "y", "2");
    EXPECT_EQ(readBytes(path), QByteArray("stray=1\n[A]\nk=first\nk=second\n[a]\nk=third\n[B]\nx=1\r\ny=2\r\n"));
    ini.write("A", "k", "new");
    EXPECT_EQ(readBytes(path), QByteArray("stray=1\n[A]\nk=new\nk=second\n[a]\nk=third\n[B]\nx=1\r\ny=2\r\n"));
}

TEST_F(IniFixture, NewSectionAfterAFileWithoutFinalLineEnd)
{
    writeBytes(path, "[A]\r\nk=1");
    ini.write("B", "k", "2");
    EXPECT_EQ(readBytes(path), QByteArray("[A]\r\nk=1\r\n[B]\r\nk=2\r\n"));
}

TEST_F(IniFixture, KoreanTextStaysCodePage949)
{
    const QByteArray korean = toAnsi(QString::fromUtf8("온도"));
    ASSERT_EQ(korean, QByteArray::fromHex("bfc2b5b5"));
    writeBytes(path, "[Title]\r\nName=" + korean + "\r\n");
    EXPECT_EQ(ini.read("Title", "Name"), QString::fromUtf8("온도"));
    ini.write("Title", "Other", QString::fromUtf8("한글"));
    EXPECT_EQ(readBytes(path), "[Title]\r\nName=" + korean + "\r\nOther=" + QByteArray::fromHex("c7d1b1db") + "\r\n");
}

TEST_F(IniFixture, InvalidBytesAndLongLinesDoNotUpsetReading)
{
    const QByteArray longValue(200000, 'x');
    writeBytes(path, "[A]\r\nbad=\xff\xfe\x80\r\nlong=" + longValue + "\r\n");
    EXPECT_FALSE(ini.read("A", "bad").isEmpty());
    EXPECT_EQ(ini.read("A", "long").size(), 200000);
    ini.write("A", "n", "1");
    EXPECT_EQ(readBytes(path), "[A]\r\nbad=\xff\xfe\x80\r\nlong=" + longValue + "\r\nn=1\r\n");
}

TEST_F(IniFixture, UnwritableFileRaisesTheWriteFailureWithItsFullName)
{
    QDir(dir.path()).mkdir("Main.ini"); // a directory where the file should be
    EXPECT_EQ(ini.read("A", "k"), "");
    try {
        ini.write("A", "k", "v");
        FAIL() << "no error raised";
    } catch (const KeloError& e) {
        EXPECT_EQ(e.text(), "Unable to write to " + QFileInfo(path).absoluteFilePath());
    }
}

TEST_F(IniFixture, ReadOnlyFolderLeavesTheFileAsItWas)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes anywhere";
    writeBytes(path, "[A]\r\nk=1\r\n");
    QFile::setPermissions(path, QFileDevice::ReadOwner);
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    EXPECT_THROW(ini.write("A", "k", "2"), KeloError);
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(readBytes(path), QByteArray("[A]\r\nk=1\r\n"));
}

TEST_F(IniFixture, NoCacheBetweenCalls)
{
    ini.write("A", "k", "1");
    writeBytes(path, "[A]\r\nk=changed\r\n");
    EXPECT_EQ(IniFile(path).read("A", "k"), "changed");
    EXPECT_EQ(ini.read("A", "k"), "changed");
}

TEST(AnsiText, BrokenBytesBecomeReplacementCharactersAndNothingVanishes)
{
    EXPECT_EQ(fromAnsi(QByteArray::fromHex("c7d1b1db")), QString::fromUtf8("한글"));
    EXPECT_EQ(fromAnsi("ab\xc7"), QString("ab") + QChar::ReplacementCharacter);
    EXPECT_EQ(fromAnsi("\xff" "a").size(), 2);
    EXPECT_FALSE(fromAnsi("\xff" "a").contains(QChar(0x1A)));
    EXPECT_EQ(fromAnsi(""), "");
    EXPECT_EQ(toAnsi(QString::fromUtf8("한글")), QByteArray::fromHex("c7d1b1db"));
}

TEST(AnsiText, ATextCutInsideACharacterDoesNotSpillIntoTheNextText)
{
    // The converters are kept from one text to the next: a text ending in a
    // lead byte or a lone surrogate must leave nothing behind.
    EXPECT_EQ(fromAnsi("\xc7"), QString(QChar::ReplacementCharacter));
    EXPECT_EQ(fromAnsi("\xb1\xdb"), QString::fromUtf8("글"));
    const QString lowSurrogateFirst = QString(QChar(0xDC00)) + QStringLiteral("가");
    const QByteArray alone = toAnsi(lowSurrogateFirst);
    (void)toAnsi(QStringLiteral("가") + QChar(0xD800));
    EXPECT_EQ(toAnsi(lowSurrogateFirst), alone);
    EXPECT_EQ(toAnsi(QStringLiteral("가")), QByteArray("\xb0\xa1"));
}

TEST(AnsiText, CodePage949IsTheWindowsTableWithBackslashControlsAndAllHangul)
{
    // 똠 and 햏 exist only in the Windows table's extended Hangul; a backslash
    // and the controls 0x1A, 0x1C, 0x7F are plain ASCII there.
    const std::vector<std::pair<QString, QByteArray>> table{
        {QStringLiteral("C:\\data\\온도.khd"), QByteArray("C:\\data\\\xbf\xc2\xb5\xb5.khd")},
        {QStringLiteral("똠햏"), QByteArray("\x8c\x63\xc1\x64")},
        {QStringLiteral("\\"), QByteArray("\\")},
        {QString(QChar(0x1A)) + QChar(0x1C) + QChar(0x7F), QByteArray("\x1a\x1c\x7f")},
        {QStringLiteral("한\\글"), QByteArray("\xc7\xd1\\\xb1\xdb")},
    };
    for (const auto& [text, bytes] : table) {
        EXPECT_EQ(toAnsi(text), bytes) << text.toStdString();
        EXPECT_EQ(fromAnsi(bytes), text) << bytes.toHex().toStdString();
    }
}

TEST_F(IniFixture, NewKeyAfterALoneCrAtTheEndOfTheFileStartsItsOwnLine)
{
    // A lone CR does not end a line: the new key must not be glued onto it.
    writeBytes(path, "[A]\r\nk=v\r");
    ini.write("A", "new", "1");
    EXPECT_EQ(readBytes(path), QByteArray("[A]\r\nk=v\r\r\nnew=1\r\n"));
    EXPECT_EQ(ini.read("A", "k"), "v");
    EXPECT_EQ(ini.read("A", "new"), "1");
}

TEST_F(IniFixture, LineEndsInAValueCannotForgeOtherKeysOrSections)
{
    const QByteArray before = "[A]\r\nk=1\r\n[B]\r\nx=safe\r\n";
    const std::vector<std::pair<QString, QByteArray>> table{
        {"2\r\n[B]\r\nx=evil", "[A]\r\nk=2\r\n[B]\r\nx=safe\r\n"},
        {"2\n[B]\nx=evil", "[A]\r\nk=2\r\n[B]\r\nx=safe\r\n"},
        {"2\r[B]", "[A]\r\nk=2\r\n[B]\r\nx=safe\r\n"},
        {"\nx", "[A]\r\nk=\r\n[B]\r\nx=safe\r\n"},
    };
    for (const auto& [value, after] : table) {
        writeBytes(path, before);
        ini.write("A", "k", value);
        EXPECT_EQ(readBytes(path), after) << value.toStdString();
        EXPECT_EQ(ini.read("B", "x"), "safe");
        // A new key and a new section are cut the same way.
        ini.write("A", "n", value);
        ini.write("C", "n", value);
        EXPECT_EQ(ini.read("B", "x"), "safe");
        EXPECT_EQ(ini.read("C", "n"), ini.read("A", "n"));
    }
}

namespace {

// Runs `check` where file permissions hold: as the "nobody" account in a
// child process when the tests run as root (root reads every file). The
// result is check's value, or 100 and up when the child could not run it.
int runAsOrdinaryUser(const std::function<int()>& check)
{
    if (geteuid() != 0)
        return check();
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(100);
        _exit(check());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return 101;
    return WEXITSTATUS(status);
}

} // namespace

TEST_F(IniFixture, UnreadableFileGivesTheDefaultsAndIsNeverRebuilt)
{
    const QByteArray settings = "[ComPort1]\r\nPort=/dev/ttyUSB0\r\nBaudRate=19200\r\nParity=Even\r\nDataBits=7\r\n"
                                "StopBits=2\r\nFlowControl=None\r\n[Delay]\r\nTime=50\r\n";
    writeBytes(path, settings);
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                          | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther);
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::Permissions()));
    const QString fullName = QFileInfo(path).absoluteFilePath();
    const int failed = runAsOrdinaryUser([&] {
        int wrong = 0;
        if (!IniFile(path).unreadable())
            wrong |= 1;
        // Reading with a default returns it and writes nothing back.
        if (IniReadOrWrite(true, path, "Delay", "Time", "20") != "20")
            wrong |= 2;
        // A plain write (the settings dialog's save) fails and says where.
        try {
            IniReadOrWrite(false, path, "Delay", "Time", "30");
            wrong |= 4;
        } catch (const KeloError& e) {
            if (e.text() != "Unable to write to " + fullName)
                wrong |= 8;
        }
        return wrong;
    });
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(readBytes(path), settings) << "every key is still there";
}
