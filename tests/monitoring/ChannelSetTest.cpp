#include "monitoring/ChannelSet.h"
#include "settings/AnsiText.h"
#include "settings/KeloError.h"
#include "tests/support/Files.h"

#include <gtest/gtest.h>

TEST(ChannelSetFile, WritesCrLfLinesInCodePage949)
{
    ChannelSet set{QString::fromUtf8("가열로"), "1000",
                   {{"01", "Zone 1", "0001", "1", "1200", "-100", "255"},
                    {"02", QString::fromUtf8("구역2"), "0001", "1", "1200", "-100", "16711680"}}};
    const QByteArray expected = toAnsi(QString::fromUtf8("가열로")) + ";1000\r\n"
        "01;Zone 1;0001;1;1200;-100;255\r\n02;" + toAnsi(QString::fromUtf8("구역2"))
        + ";0001;1;1200;-100;16711680\r\n";
    EXPECT_EQ(channelSetBytes(set), expected);
    EXPECT_EQ(parseChannelSet(expected), set);

    QTemporaryDir dir;
    writeChannelSetFile(dir.filePath("a.khd"), set);
    EXPECT_EQ(readBytes(dir.filePath("a.khd")), expected);
    EXPECT_EQ(readChannelSetFile(dir.filePath("a.khd")), set);
}

TEST(ChannelSetFile, ReadsShortAndOddLinesTheWayFieldsSplit)
{
    // Fewer than seven fields repeat the text after the last ";".
    ChannelSet s = parseChannelSet("T;500\r\n01;Zone;0001\r\n");
    ASSERT_EQ(s.channels.size(), 1);
    EXPECT_EQ(s.channels[0], (ChannelDef{"01", "Zone", "0001", "0001", "0001", "0001", "0001"}));

    s = parseChannelSet("Whole line\r\n");
    EXPECT_EQ(s.Title, "Whole line");
    EXPECT_EQ(s.Sampling, "Whole line");
    EXPECT_TRUE(s.channels.isEmpty());

    s = parseChannelSet("T;1\r\n\r\n");
    ASSERT_EQ(s.channels.size(), 1);
    EXPECT_EQ(s.channels[0], ChannelDef{});

    // LF-only lines; a lone CR stays in the line; no final line end.
    s = parseChannelSet("T;1\n01;a\rb;0001;0;1;0;255");
    ASSERT_EQ(s.channels.size(), 1);
    EXPECT_EQ(s.channels[0].Caption, "a\rb");
    EXPECT_EQ(s.channels[0].Color, "255");

    // A ";" in a caption shifts the later fields.
    s = parseChannelSet("T;1\r\n01;a;b;0001;1;100;0;255\r\n");
    EXPECT_EQ(s.channels[0].Caption, "a");
    EXPECT_EQ(s.channels[0].Reg, "b");
}

TEST(ChannelSetFile, ExtensionIsCompletedCaseSensitively)
{
    EXPECT_EQ(withExtension("SET.khd", ".khd"), "SET.khd");
    EXPECT_EQ(withExtension("SET.KHD", ".khd"), "SET.KHD.khd");
    EXPECT_EQ(withExtension("SET", ".khd"), "SET.khd");
    EXPECT_EQ(withExtension("run.KMR", ".kmr"), "run.KMR.kmr");
    EXPECT_EQ(withExtension("run.kmr", ".kmr"), "run.kmr");
}

TEST(ChannelSetFile, MissingFileIsAnError)
{
    EXPECT_THROW((void)readChannelSetFile("/nonexistent/x.khd"), KeloError);
}
