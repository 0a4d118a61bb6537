// The sampling tick and the bytes of the record file.
#include "MonitoringWindowFixture.h"

#include "settings/AnsiText.h"

class Recording : public MonitoringWindowTest {
protected:
    // One poll cycle over the three channels; channel 2 stays silent.
    void cycle(const QByteArray& word1, const QByteArray& word3)
    {
        (void)tick();
        answer(reply("01", "OK", word1));
        (void)tick();
        (void)tick();
        answer(reply("03", "OK", word3));
    }
};

TEST_F(Recording, WritesOneLinePerTickWithTheTableValuesAndZeroForAChannelNeverAnswered)
{
    open();
    load(threeChannelSet());
    start();
    cycle("04D2", "0064");
    now = now.addSecs(1);
    window->tmSamplingTimer();
    EXPECT_EQ(value(0), "20240105/143023");
    EXPECT_EQ(value(2), "0");     // the table shows the "0" it recorded
    cycle("3039", "FFF6");
    now = now.addSecs(1);
    window->tmSamplingTimer();
    EXPECT_EQ(readBytes(recordPath()), "set.khd\r\n"
                                       "20240105/143023;123.4;0;10.0;\r\n"
                                       "20240105/143024;1,234.5;0;-1.0;\r\n");
}

TEST_F(Recording, UsesTheRegionalDateThousandsAndDecimalSeparators)
{
    context.regional.dateSeparator = QLatin1Char('-');
    context.regional.thousands = QLatin1Char('.');
    context.regional.decimal = QLatin1Char(',');
    open();
    load("T;1000\r\n01;A;0001;0;100;0;255\r\n02;B;0001;1;100;0;255\r\n");
    start();
    (void)tick();
    answer(reply("01", "OK", "04D2"));
    (void)tick();
    answer(reply("02", "OK", "3039"));
    window->tmSamplingTimer();
    EXPECT_EQ(readBytes(recordPath()), "set.khd\r\n20240105-143022;1.234;1.234,5;\r\n");
}

TEST_F(Recording, AKoreanChannelSetNameIsWrittenInCodePage949)
{
    open();
    const QString name = QString::fromUtf8("가열로.khd");
    load(threeChannelSet(), name);
    start();
    window->tmSamplingTimer();
    EXPECT_EQ(readBytes(recordPath()), toAnsi(name) + "\r\n20240105/143022;0;0;0;\r\n");
}

TEST_F(Recording, TestModeStampsTheTableButWritesNoFile)
{
    portAt(line.slavePath(), "200", "73");
    open();
    load(threeChannelSet());
    child<QCheckBox>("chbRandom")->setChecked(true);
    start();
    EXPECT_EQ(dialogs.saveRequests.size(), 1u);
    window->tmSamplingTimer();
    EXPECT_EQ(value(0), "20240105/143022");
    EXPECT_FALSE(QFileInfo::exists(recordPath()));

    // Switched off during the run: the file is made at the next tick, header first.
    child<QCheckBox>("chbRandom")->setChecked(false);
    now = now.addSecs(1);
    window->tmSamplingTimer();
    EXPECT_EQ(readBytes(recordPath()), "set.khd\r\n20240105/143023;0;0;0;\r\n");
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(Recording, LinesThatCannotBeWrittenAreShownOnceAndComeBackInOrder)
{
    open();
    load(threeChannelSet());
    start();
    (void)tick();
    answer(reply("01", "OK", "0064"));
    window->tmSamplingTimer();                      // 14:30:22
    ASSERT_TRUE(QDir(MonitorDir()).removeRecursively());
    for (int s = 1; s <= 3; ++s) {
        now = now.addSecs(1);
        window->tmSamplingTimer();                  // 14:30:23 .. 25 cannot be written
    }
    showPostedBoxes();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains(recordPath())) << dialogs.errors[0].toStdString();
    EXPECT_EQ(panel(0), "기록불량");
    EXPECT_FALSE(window->FormCloseQuery());         // still running

    ASSERT_TRUE(QDir().mkpath(MonitorDir()));
    now = now.addSecs(1);
    window->tmSamplingTimer();
    EXPECT_EQ(readBytes(recordPath()), "set.khd\r\n"
                                       "20240105/143023;10.0;0;0;\r\n"
                                       "20240105/143024;10.0;0;0;\r\n"
                                       "20240105/143025;10.0;0;0;\r\n"
                                       "20240105/143026;10.0;0;0;\r\n");

    // A second outage is reported again.
    ASSERT_TRUE(QFile::remove(recordPath()));
    ASSERT_TRUE(QDir().mkpath(recordPath()));       // a folder where the file was
    window->tmSamplingTimer();
    showPostedBoxes();
    EXPECT_EQ(dialogs.errors.size(), 2);
}

TEST_F(Recording, LinesKeptBackOutliveStopAndAreAskedAboutBeforeClosing)
{
    open();
    load(threeChannelSet());
    start("first.kmr");
    const QString folder = MonitorDir();
    ASSERT_TRUE(QDir(folder).removeRecursively());
    window->tmSamplingTimer();
    window->bbtStartClick();                        // Stop with one line kept

    dialogs.answers = {MsgResult::No};
    EXPECT_FALSE(window->FormCloseQuery());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].style, 36);
    EXPECT_TRUE(dialogs.messages[0].text.contains(recordPath("first.kmr")));

    // The next run writes elsewhere; the earlier run's line follows when it can.
    const QString other = dir.file("second.kmr");
    start(other);
    ASSERT_TRUE(QDir().mkpath(folder));
    now = now.addSecs(1);
    window->tmSamplingTimer();
    EXPECT_EQ(readBytes(recordPath("first.kmr")), "set.khd\r\n20240105/143022;0;0;0;\r\n");
    EXPECT_EQ(readBytes(other), "set.khd\r\n20240105/143023;0;0;0;\r\n");
    window->bbtStartClick();
    dialogs.messages.clear();
    EXPECT_TRUE(window->FormCloseQuery());
    EXPECT_TRUE(dialogs.messages.empty());
}
