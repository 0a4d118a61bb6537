#include "monitoring/RecordFile.h"
#include "settings/AnsiText.h"
#include "settings/KeloError.h"
#include "tests/support/Files.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(RecordFile, NamesStampsAndLines)
{
    const QDateTime start(QDate(2024, 1, 5), QTime(14, 30, 22));
    EXPECT_EQ(proposedRecordName("Line A", start), "Line A_20240105143022.kmr");
    EXPECT_EQ(proposedRecordName("", start), "Test_20240105143022.kmr");
    EXPECT_EQ(sampleStamp(QDateTime(QDate(2024, 1, 5), QTime(9, 3, 4)), QLatin1Char('/')), "20240105/090304");
    EXPECT_EQ(sampleStamp(QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59)), QLatin1Char('-')), "20241231-235959");
    EXPECT_EQ(sampleLine({"20240105/143023", "123.4", "1,205", "0"}), "20240105/143023;123.4;1,205;0;\r\n");
    EXPECT_EQ(sampleLine({QString::fromUtf8("가")}), toAnsi(QString::fromUtf8("가")) + ";\r\n");
}

TEST(RecordFile, CreateReplacesAnExistingFileWithTheHeaderLine)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("run.kmr");
    writeBytes(path, "old content\r\n");
    RecordFile file(path, QString::fromUtf8("가열로.khd"));
    file.create();
    EXPECT_EQ(readBytes(path), toAnsi(QString::fromUtf8("가열로.khd")) + "\r\n");
    QString error;
    ASSERT_TRUE(file.append("a;\r\n", &error));
    ASSERT_TRUE(file.append("b;\r\n", &error));
    EXPECT_EQ(readBytes(path), toAnsi(QString::fromUtf8("가열로.khd")) + "\r\na;\r\nb;\r\n");

    RecordFile nowhere(dir.filePath("missing/run.kmr"), "set.khd");
    EXPECT_THROW(nowhere.create(), KeloError);
}

TEST(RecordFile, LinesThatCannotBeWrittenComeBackInOrderWhenTheFileCanBeWrittenAgain)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("Monitor");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + "/run.kmr";
    RecordFile file(path, "set.khd");
    file.create();
    QString error;
    ASSERT_TRUE(file.append("1;\r\n", &error));

    // The folder disappears with the file: lines are kept.
    ASSERT_TRUE(QDir(folder).removeRecursively());
    EXPECT_FALSE(file.append("2;\r\n", &error));
    EXPECT_TRUE(error.contains(path)) << error.toStdString();
    EXPECT_FALSE(file.append("3;\r\n", &error));
    EXPECT_EQ(file.pendingLines(), 2);

    // It comes back: the file is made again, header first, then the lines in order.
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(file.append("4;\r\n", &error));
    EXPECT_EQ(readBytes(path), "set.khd\r\n2;\r\n3;\r\n4;\r\n");
    EXPECT_EQ(file.pendingLines(), 0);

    // A directory standing where the file was: nothing written, nothing lost.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir().mkpath(path));
    EXPECT_FALSE(file.append("5;\r\n", &error));
    EXPECT_FALSE(file.retry(&error));
    ASSERT_TRUE(QDir(path).removeRecursively());
    writeBytes(path, "set.khd\r\n");
    EXPECT_TRUE(file.retry(&error));
    EXPECT_EQ(readBytes(path), "set.khd\r\n5;\r\n");
    EXPECT_TRUE(file.retry(&error));
}

TEST(RecordFile, AFullDiskKeepsTheLine)
{
    if (!QFileInfo::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    RecordFile file("/dev/full", "set.khd");
    QString error;
    EXPECT_FALSE(file.append("1;\r\n", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(file.append("2;\r\n", &error));
    EXPECT_EQ(file.pendingLines(), 2);
    EXPECT_EQ(file.pendingBytes(), 8);
}

// A made-up name never touches a file that holds it, whoever made it; the
// operator's own choice replaces it.
TEST(RecordFile, AMadeUpNameTakesTheNextFreeNameAndLeavesOtherRunsFilesAlone)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Kiln_20261209232912.kmr");
    writeBytes(path, "other.khd\r\n20261209/232913;1;\r\n");
    writeBytes(dir.filePath("Kiln_20261209232912_2.kmr"), "other.khd\r\n");
    struct Case { RecordFile::Naming naming; QString madePath; QByteArray otherAfter; };
    const Case cases[] = {
        {RecordFile::Naming::Unique, dir.filePath("Kiln_20261209232912_3.kmr"), "other.khd\r\n20261209/232913;1;\r\n"},
        {RecordFile::Naming::Replace, path, "furnace.khd\r\n20261209/232914;2;\r\n"},
    };
    for (const Case& c : cases) {
        RecordFile file(path, "furnace.khd", c.naming);
        file.create();
        QString error;
        ASSERT_TRUE(file.append("20261209/232914;2;\r\n", &error)) << error.toStdString();
        EXPECT_EQ(file.path(), c.madePath);
        EXPECT_EQ(readBytes(c.madePath), "furnace.khd\r\n20261209/232914;2;\r\n");
        EXPECT_EQ(readBytes(path), c.otherAfter);
    }
    EXPECT_EQ(readBytes(dir.filePath("Kiln_20261209232912_2.kmr")), "other.khd\r\n");
}

// A file that cannot be made leaves nothing behind, and says why in the
// system's words; its lines wait for the folder.
TEST(RecordFile, AFileThatCannotBeMadeLeavesNoEmptyFileAndNamesTheReason)
{
    QTemporaryDir dir;
    writeBytes(dir.filePath("blocked"), "a file where the folder should be");
    const QString path = dir.filePath("blocked/Kiln_1.kmr");
    RecordFile file(path, "kiln.khd", RecordFile::Naming::Unique);
    EXPECT_THROW(file.create(), KeloError);
    QString error;
    EXPECT_FALSE(file.append("1;\r\n", &error));
    EXPECT_TRUE(error.contains("Not a directory")) << error.toStdString();
    ASSERT_TRUE(QFile::remove(dir.filePath("blocked")));
    ASSERT_TRUE(file.append("2;\r\n", &error)) << "the folder is made";
    EXPECT_EQ(readBytes(path), "kiln.khd\r\n1;\r\n2;\r\n");

    if (QFileInfo::exists("/dev/full")) {
        RecordFile full("/dev/full", "set.khd");
        EXPECT_FALSE(full.append("1;\r\n", &error));
        EXPECT_TRUE(error.contains("No space left on device")) << error.toStdString();
        EXPECT_TRUE(QFileInfo::exists("/dev/full"));
    }
}
