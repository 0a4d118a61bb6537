// Reading a channel set file cuts over-long lines; every other file reads
// exactly as its bytes parse, also where lines cross the reader's blocks.
#include "monitoring/ChannelSet.h"
#include "monitoring/ChannelSetCheck.h"
#include "settings/KeloError.h"
#include "tests/support/Files.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

ChannelSet readBack(const QByteArray& bytes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("set.khd"));
    writeBytes(path, bytes);
    return readChannelSetFile(path);
}

QByteArray channelLines(int n, const QByteArray& end)
{
    QByteArray bytes = "T;1000" + end;
    for (int c = 1; c <= n; ++c)
        bytes += "01;Zone " + QByteArray::number(c) + ";0001;1;1200;-100;255" + end;
    return bytes;
}

// A CR as the last byte of the reader's first 64 KiB block, its LF the first of the next.
QByteArray splitCrLf()
{
    QByteArray bytes;
    for (int i = 0; i < 16; ++i)
        bytes += QByteArray(4000, 'a') + "\r\n";
    bytes += QByteArray(64 * 1024 - 1 - bytes.size(), 'b');
    return bytes + "\r\n01;B";
}

} // namespace

TEST(ChannelSetLimit, FilesWithinTheLimitReadAsTheirBytesParse)
{
    const QByteArray longest = "01;" + QByteArray(kMaxChannelSetLine - 3, 'c');
    const QByteArray cases[] = {
        "",
        "\n",
        "Title only",
        "T;1000\r\n01;A;0001;1;100;0;255",            // no line end at the end
        "T;1000\r\n\r\n\n",                            // blank channel lines
        "T;1000\r\r\n01;A\r;0001\n",                   // lone CRs stay in the line
        channelLines(4000, "\r\n"),                    // lines across the 64 KiB blocks
        channelLines(4000, "\n"),
        "T;1000\r\n" + longest + "\r\n" + longest,     // exactly at the limit, with and without CR LF
        "T;1000\r\n" + longest.chopped(1) + "\r",      // a last line ending in a lone CR, at the limit
        splitCrLf(),
    };
    for (const QByteArray& bytes : cases) {
        EXPECT_EQ(readBack(bytes), parseChannelSet(bytes)) << "case " << &bytes - cases;
    }
}

TEST(ChannelSetLimit, AHundredMegabyteLineIsCutAtTheLimitInsteadOfFillingTheWindows)
{
    const qsizetype huge = 100 * 1024 * 1024;
    const ChannelSet title = readBack(QByteArray(huge, 'T') + ";1000\r\n01;A;0001;1;100;0;255\r\n");
    EXPECT_EQ(title.Title, QString(kMaxChannelSetLine, QLatin1Char('T')));
    ASSERT_EQ(title.channels.size(), 1);
    EXPECT_EQ(title.channels[0].Caption, QStringLiteral("A"));

    const ChannelSet caption = readBack("T;1000\r\n01;" + QByteArray(huge, 'C') + ";0001;1;100;0;255\r\n02;B\r\n");
    ASSERT_EQ(caption.channels.size(), 2);
    EXPECT_EQ(caption.channels[0].Caption, QString(kMaxChannelSetLine - 3, QLatin1Char('C')));
    EXPECT_EQ(caption.channels[1].Caption, QStringLiteral("B"));

    // Cut one byte past a CR: the CR is data, not the line end.
    const ChannelSet cr = readBack("T;1000\r\n01;" + QByteArray(kMaxChannelSetLine - 4, 'C') + "\rX\r\n");
    ASSERT_EQ(cr.channels.size(), 1);
    EXPECT_EQ(cr.channels[0].Caption, QString(kMaxChannelSetLine - 4, QLatin1Char('C')) + QLatin1Char('\r'));
}

TEST(ChannelSetLimit, TheRefusalOfAWholeLineAsANumberQuotesOnlyItsBeginning)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("set.khd"));
    writeBytes(path, QByteArray(1024 * 1024, 'x'));
    try {
        (void)readMonitoringChannelSet(path);
        FAIL() << "a set without a sampling number was taken";
    } catch (const KeloError& e) {
        EXPECT_LT(e.text().size(), 400) << e.text().left(100).toStdString();
        EXPECT_TRUE(e.text().contains(QStringLiteral("Sampling")));
        EXPECT_TRUE(e.text().contains(path));
    }
}

TEST(ChannelSetLimit, TheMonitoringWindowTakesAThousandChannelsAndRefusesMoreByName)
{
    ChannelSet set{QStringLiteral("T"), QStringLiteral("1000"), {}};
    for (int c = 0; c < kMaxMonitoredChannels; ++c)
        set.channels.append({"01", "A", "0001", "1", "100", "0", "255"});
    EXPECT_NO_THROW(checkMonitoringChannelSet(set, QStringLiteral("big.khd")));
    set.channels.append(set.channels.first());
    try {
        checkMonitoringChannelSet(set, QStringLiteral("big.khd"));
        FAIL() << "1,001 channels were taken";
    } catch (const KeloError& e) {
        EXPECT_TRUE(e.text().contains(QStringLiteral("1001개"))) << e.text().toStdString();
        EXPECT_TRUE(e.text().contains(QStringLiteral("big.khd")));
    }
}
