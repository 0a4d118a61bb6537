#include "tests/autotune/AutoTuningFixture.h"

#include "autotune/TuningRegisters.h"

#include <QLineEdit>
#include <QTest>

namespace {

// Words 1..32 of a settings reply: the six display words, then word k
// holding the value k, so each grid cell tells which word reached it.
QList<QByteArray> settingsWords(const QList<QByteArray>& first6)
{
    QList<QByteArray> words = first6;
    for (int k = 7; k <= 32; ++k)
        words << QByteArray::number(k, 16).rightJustified(4, '0').toUpper();
    return words;
}

} // namespace

using AutoTuning = AutoTuningTest;

TEST_F(AutoTuning, OpeningShowsTitlesEmptyPanelsAndTheIdleSwitch)
{
    open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Auto Turing"));
    const QStringList top{"PID", "#1", "#2", "#3"};
    const QStringList left{"P", "I", "D", "MR", "Pc", "Ic", "Dc", "DB", "RP"};
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(grid()->text(0, c), top[c]);
    for (int r = 1; r <= 9; ++r) {
        EXPECT_EQ(grid()->text(r, 0), left[r - 1]);
        for (int c = 1; c <= 3; ++c)
            EXPECT_TRUE(grid()->text(r, c).isEmpty()) << r << "," << c;
    }
    for (const char* p : {"PanZone", "PanDot", "PanSv1", "PanSv2", "PanSv3", "PanATM"})
        EXPECT_TRUE(panel(p).isEmpty()) << p;
    EXPECT_EQ(startSwitch()->text(), QStringLiteral("시작"));
    EXPECT_FALSE(startSwitch()->lampOn());
    EXPECT_FALSE(messageShown());
    EXPECT_EQ(child<RadioGroup>("rdgSel")->itemText(), QStringLiteral("1"));
    EXPECT_FALSE(tmBatOn());
    EXPECT_FALSE(tmSendOn());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(line.readAvailable().isEmpty());
}

TEST_F(AutoTuning, ReadIsSentFourTimesAtMostThenCommunicationFailure)
{
    open();
    address(5);
    QTest::mouseClick(readButton(), Qt::LeftButton);
    const QByteArray expected = frame("05", kReadBody);
    EXPECT_EQ(line.read(expected.size()), expected);
    EXPECT_TRUE(tmSendOn());
    // Each second without a reply the same frame goes out again.
    for (int second = 1; second <= 3; ++second) {
        window->tmSendTimer();
        EXPECT_EQ(line.read(expected.size()), expected) << "after " << second << " s";
        EXPECT_TRUE(dialogs.messages.empty());
    }
    window->tmSendTimer();
    EXPECT_TRUE(line.readAvailable().isEmpty());
    EXPECT_FALSE(tmSendOn());
    EXPECT_FALSE(tmBatOn());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("통신불량"));
    EXPECT_EQ(dialogs.messages[0].style, 0);
}

TEST_F(AutoTuning, AddressTextIsPaddedAndANonNumberReadsAsOne)
{
    open();
    const struct {
        const char* typed;
        QByteArray sent;
    } cases[] = {{"7", "07"}, {"42", "42"}, {"99", "99"}, {"abc", "01"}, {"", "01"}, {"150", "99"}};
    auto* edit = child<SpinEdit>("avSEdtAdr")->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    for (const auto& c : cases) {
        edit->selectAll();
        edit->del();
        QTest::keyClicks(edit, QString::fromLatin1(c.typed));
        window->spbReadClick();
        EXPECT_EQ(line.read(frame(c.sent, kReadBody).size()), frame(c.sent, kReadBody)) << c.typed;
        answer(replyFrame("DRR", "NG", {}, c.sent));
    }
}

TEST_F(AutoTuning, SettingsReplyFillsPanelsWithThePointAndEveryWordInItsCell)
{
    open();
    window->spbReadClick();
    (void)line.read(frame("01", kReadBody).size());
    answer(replyFrame("DRR", "OK", settingsWords({"0001", "0001", "04D2", "0000", "FFF6", "0001"})));
    EXPECT_FALSE(tmSendOn());
    EXPECT_EQ(panel("PanZone"), QStringLiteral("ON"));
    EXPECT_EQ(panel("PanDot"), QStringLiteral("1"));
    EXPECT_EQ(panel("PanSv1"), QStringLiteral("123.4"));
    EXPECT_EQ(panel("PanSv2"), QStringLiteral(".0"));
    EXPECT_EQ(panel("PanSv3"), QStringLiteral("-1.0"));
    EXPECT_EQ(panel("PanATM"), QStringLiteral("LOW"));
    for (int k = 7; k <= 32; ++k) {
        const int col = k <= 15 ? 1 : k <= 24 ? 2 : 3;
        const int row = k <= 15 ? k - 6 : k <= 24 ? k - 15 : k - 24;
        EXPECT_EQ(grid()->text(row, col), QString::number(k)) << "word " << k;
    }
    EXPECT_EQ(grid()->text(8, 3), QStringLiteral("32"));  // register 0614 again, under "DB"
    EXPECT_TRUE(grid()->text(9, 3).isEmpty());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(AutoTuning, OffZoneStandardModeAndBadWordsShowAsTheControllerSaysThem)
{
    open();
    const struct {
        QList<QByteArray> first6;
        QStringList shown;  // Zone, Dot, SV1, SV2, SV3, AT M
    } cases[] = {
        {{"0000", "0000", "0064", "FF9C", "0000", "0000"}, {"OFF", "0", "100", "-100", "0", "STD"}},
        {{"0001", "0003", "04D2", "0005", "0000", "0000"}, {"ON", "3", "1.234", ".005", ".000", "STD"}},
        // A word with a bad character is -99999; as Dot it leaves the set values plain.
        {{"00G0", "0x01", "0005", "0000", "FFFB", "?"}, {"ON", "-99999", "5", "0", "-5", "LOW"}},
        {{"0001", "FFFF", "0005", "0000", "FFFB", "0000"}, {"ON", "-1", "5", "0", "-5", "STD"}},
        // A Dot no controller shows is a bad word, not 32,767 digits of padding.
        {{"0001", "7FFF", "0005", "0000", "FFFB", "0000"}, {"ON", "-99999", "5", "0", "-5", "STD"}},
        {{"0001", "0005", "0005", "0000", "FFFB", "0000"}, {"ON", "-99999", "5", "0", "-5", "STD"}},
        {{"0001", "0004", "0005", "0000", "FFFB", "0000"}, {"ON", "4", ".0005", ".0000", "-.0005", "STD"}},
    };
    for (const auto& c : cases) {
        window->spbReadClick();
        (void)line.read(frame("01", kReadBody).size());
        answer(replyFrame("DRR", "OK", settingsWords(c.first6)));
        const QStringList shown{panel("PanZone"), panel("PanDot"), panel("PanSv1"),
                                panel("PanSv2"), panel("PanSv3"), panel("PanATM")};
        EXPECT_EQ(shown, c.shown) << c.first6.join(',').toStdString();
    }
}

TEST(DecimalPoint, DotDigitsFollowThePointAndShortValuesAreNotScaledUp)
{
    const struct {
        const char* value;
        const char* dot;
        const char* shown;
    } cases[] = {
        {"5", "1", ".5"},         {"0", "1", ".0"},       {"-5", "1", "-.5"},
        {"1234", "3", "1.234"},   {"1234", "1", "123.4"}, {"-10", "1", "-1.0"},
        {"12", "4", ".0012"},     {"-5", "3", "-.005"},   {"-1234", "2", "-12.34"},
        {"1234", "0", "1234"},    {"1234", "-1", "1234"},
        {"1234", "-99999", "1234"}, {"1234", "", "1234"}, {"1234", "5", "1234"}, {"1", "32767", "1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(placeDecimalPoint(QString::fromLatin1(c.value), QString::fromLatin1(c.dot)),
                  QString::fromLatin1(c.shown))
            << c.value << " with Dot " << c.dot;
}

TEST_F(AutoTuning, OffZoneRefusesAutoButTheNumberedChoicesStart)
{
    open();
    window->spbReadClick();
    (void)line.read(frame("01", kReadBody).size());
    answer(replyFrame("DRR", "OK", settingsWords({"0000", "0001", "0064", "0000", "0000", "0000"})));
    ASSERT_EQ(panel("PanZone"), QStringLiteral("OFF"));

    select(3);
    clickSwitch();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Zone => OFF이므로 Turing 불가능"));
    EXPECT_TRUE(line.readAvailable().isEmpty());
    EXPECT_FALSE(messageShown());
    EXPECT_FALSE(startSwitch()->lampOn());
    EXPECT_EQ(startSwitch()->text(), QStringLiteral("시작"));
    EXPECT_FALSE(tmBatOn());

    const QByteArray written[] = {"0001", "0002", "0003"};
    for (int item = 0; item < 3; ++item) {
        select(item);
        clickSwitch();
        const QByteArray start = frame("01", "DWS,01,0306," + written[item]);
        EXPECT_EQ(line.read(start.size()), start);
        EXPECT_TRUE(messageShown());
        EXPECT_TRUE(startSwitch()->lampOn());
        EXPECT_EQ(startSwitch()->text(), QStringLiteral("중지"));
        EXPECT_FALSE(readButton()->isEnabled());
        clickSwitch();  // stop
        const QByteArray stop = frame("01", "DWS,01,0306,0000");
        EXPECT_EQ(line.read(stop.size()), stop);
        answer(replyFrame("DWS", "OK"));
        EXPECT_FALSE(startSwitch()->lampOn());
        EXPECT_TRUE(readButton()->isEnabled());
    }
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST_F(AutoTuning, StartThenPollsUntilTheControllerReportsTheEnd)
{
    open();
    address(12);
    select(3);  // "Auto" with the zone unknown (never read) is allowed
    clickSwitch();
    EXPECT_EQ(line.read(frame("12", "DWS,01,0306,0004").size()), frame("12", "DWS,01,0306,0004"));
    EXPECT_EQ(TAutoF::AtStep, 1);
    window->tmBatTimer();  // the start is still awaited: nothing goes out
    EXPECT_TRUE(line.readAvailable().isEmpty());

    answer(replyFrame("DWS", "OK", {}, "12"));
    EXPECT_EQ(TAutoF::AtStep, 2);
    const QByteArray poll = frame("12", "DRS,01,0306");
    for (const QByteArray& still : {QByteArray("0004"), QByteArray("0001")}) {
        window->tmBatTimer();
        EXPECT_EQ(line.read(poll.size()), poll);
        window->tmBatTimer();
        EXPECT_TRUE(line.readAvailable().isEmpty());
        answer(replyFrame("DRS", "OK", {still}, "12"));
        EXPECT_TRUE(messageShown());
        EXPECT_TRUE(tmBatOn());
    }
    window->tmBatTimer();
    EXPECT_EQ(line.read(poll.size()), poll);
    answer(replyFrame("DRS", "OK", {"0000"}, "12"));
    EXPECT_FALSE(tmBatOn());
    EXPECT_FALSE(messageShown());
    EXPECT_FALSE(startSwitch()->lampOn());
    EXPECT_EQ(startSwitch()->text(), QStringLiteral("시작"));
    EXPECT_TRUE(readButton()->isEnabled());
    EXPECT_EQ(TAutoF::AtStep, 0);
    // The settings are read again at once.
    EXPECT_EQ(line.read(frame("12", kReadBody).size()), frame("12", kReadBody));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(AutoTuning, RefusedStartIsSentAgainThenReportedAfterFourSendings)
{
    open();
    clickSwitch();
    const QByteArray start = frame("01", "DWS,01,0306,0001");
    EXPECT_EQ(line.read(start.size()), start);
    for (int refusal = 1; refusal < 4; ++refusal) {
        answer(replyFrame("DWS", "NG"));
        EXPECT_FALSE(tmSendOn());
        EXPECT_EQ(TAutoF::AtStep, 1);
        window->tmBatTimer();
        EXPECT_EQ(line.read(start.size()), start);
        EXPECT_TRUE(dialogs.messages.empty());
    }
    answer(replyFrame("DWS", "NG"));
    EXPECT_EQ(dialogs.messageTexts(), QStringList{QStringLiteral("조절계(주소 01)가 Auto Tuning 시작 요청을 거부합니다.")});
    EXPECT_FALSE(tmBatOn());
    EXPECT_FALSE(tmSendOn());
    // It never started: the window is idle and can be closed.
    EXPECT_FALSE(messageShown());
    EXPECT_FALSE(startSwitch()->lampOn());
    EXPECT_EQ(startSwitch()->text(), QStringLiteral("시작"));
}

TEST_F(AutoTuning, RefusedPollIsReportedAndTheRunAwaitsTheOperatorsStop)
{
    open();
    clickSwitch();
    (void)line.read(frame("01", "DWS,01,0306,0001").size());
    answer(replyFrame("DWS", "OK"));
    const QByteArray poll = frame("01", "DRS,01,0306");
    for (int refusal = 1; refusal <= 4; ++refusal) {
        window->tmBatTimer();
        EXPECT_EQ(line.read(poll.size()), poll);
        answer(replyFrame("DRS", "NG"));
    }
    EXPECT_EQ(dialogs.messageTexts(), QStringList{QStringLiteral("조절계(주소 01)가 상태 읽기 요청을 거부합니다.")});
    EXPECT_FALSE(tmBatOn());
    EXPECT_TRUE(messageShown()) << "the controller may be tuning";
    EXPECT_TRUE(startSwitch()->isEnabled());
}

TEST_F(AutoTuning, StopDuringAnAwaitedPollGoesOutAtOnceWithAFreshAttemptCount)
{
    open();
    clickSwitch();
    (void)line.read(frame("01", "DWS,01,0306,0001").size());
    answer(replyFrame("DWS", "OK"));
    window->tmBatTimer();
    const QByteArray poll = frame("01", "DRS,01,0306");
    EXPECT_EQ(line.read(poll.size()), poll);
    window->tmSendTimer();
    window->tmSendTimer();
    EXPECT_EQ(line.read(2 * poll.size()), poll + poll);
    EXPECT_EQ(window->sendAttempts(), 3);

    clickSwitch();
    const QByteArray stop = frame("01", "DWS,01,0306,0000");
    EXPECT_EQ(line.read(stop.size()), stop);
    EXPECT_EQ(window->sendAttempts(), 1);
    EXPECT_EQ(TAutoF::AtStep, 3);
    EXPECT_FALSE(tmBatOn());
    EXPECT_TRUE(tmSendOn());
    // Stopping, not stopped: nothing says "done" before the controller does.
    EXPECT_TRUE(messageShown());
    EXPECT_EQ(panel("PanMessage"), QStringLiteral("중지 중 입니다."));
    EXPECT_TRUE(startSwitch()->lampOn());
    EXPECT_FALSE(startSwitch()->isEnabled());
    answer(replyFrame("DRS", "OK", {"0001"}));   // the poll's late reply confirms nothing
    EXPECT_EQ(panel("PanMessage"), QStringLiteral("중지 중 입니다."));
    EXPECT_TRUE(tmSendOn());
    dialogs.clear();
    window->close();
    EXPECT_TRUE(window->isVisible());
    dialogs.clear();
    // The stop has its own four attempts.
    for (int i = 0; i < 3; ++i) {
        window->tmSendTimer();
        EXPECT_EQ(line.read(stop.size()), stop);
    }
    window->tmSendTimer();
    ASSERT_EQ(dialogs.messageTexts(),
              QStringList{QStringLiteral("조절계(주소 01)가 정지 명령에 응답이 없습니다. 조절계가 아직 Auto Tuning 중일 수 있습니다.")});
    // Back to the run: the operator may stop again.
    EXPECT_TRUE(messageShown());
    EXPECT_EQ(panel("PanMessage"), QStringLiteral("처리 중 입니다."));
    EXPECT_TRUE(startSwitch()->isEnabled());
    EXPECT_EQ(startSwitch()->text(), QStringLiteral("중지"));
}

TEST_F(AutoTuning, RefusedStopIsSentAgainUnderTheFourSendingsRuleThenReported)
{
    open();
    clickSwitch();
    (void)line.read(frame("01", "DWS,01,0306,0001").size());
    answer(replyFrame("DWS", "OK"));
    clickSwitch();
    const QByteArray stop = frame("01", "DWS,01,0306,0000");
    EXPECT_EQ(line.read(stop.size()), stop);
    for (int refusal = 1; refusal <= 3; ++refusal) {
        answer(replyFrame("DWS", "NG"));
        EXPECT_EQ(line.read(stop.size()), stop) << "sent again after refusal " << refusal;
        EXPECT_TRUE(messageShown());
    }
    answer(replyFrame("DWS", "NG"));
    EXPECT_EQ(dialogs.messageTexts(),
              QStringList{QStringLiteral("조절계(주소 01)가 정지 명령을 거부했습니다. 조절계가 아직 Auto Tuning 중일 수 있습니다.")});
    EXPECT_TRUE(line.readAvailable().isEmpty()) << "four sendings in all";
    EXPECT_TRUE(messageShown());

    // The operator may leave, after a question that says what that means.
    dialogs.clear();
    dialogs.answers.push_back(MsgResult::No);
    window->close();
    EXPECT_TRUE(window->isVisible());
    dialogs.answers.push_back(MsgResult::Yes);
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(dialogs.messageTexts(),
              QStringList(2, QStringLiteral("조절계(주소 01)가 아직 Auto Tuning 중일 수 있습니다. 그래도 닫으시겠습니까?")));
}

TEST_F(AutoTuning, RunBelongsToTheControllerItStartedOn)
{
    open();
    address(5);
    select(1);
    clickSwitch();
    EXPECT_EQ(line.read(frame("05", "DWS,01,0306,0002").size()), frame("05", "DWS,01,0306,0002"));
    EXPECT_FALSE(child<SpinEdit>("avSEdtAdr")->isEnabled());
    EXPECT_FALSE(child<RadioGroup>("rdgSel")->isEnabled());
    answer(replyFrame("DWS", "OK", {}, "05"));
    // Whatever the controls come to hold, ticks and the stop go to 05.
    address(6);
    select(3);
    window->tmBatTimer();
    EXPECT_EQ(line.read(frame("05", "DRS,01,0306").size()), frame("05", "DRS,01,0306"));
    answer(replyFrame("DRS", "OK", {"0002"}, "05"));
    clickSwitch();
    EXPECT_EQ(line.read(frame("05", "DWS,01,0306,0000").size()), frame("05", "DWS,01,0306,0000"));
    answer(replyFrame("DWS", "OK", {}, "05"));
    EXPECT_FALSE(messageShown());
    EXPECT_TRUE(child<SpinEdit>("avSEdtAdr")->isEnabled());
    EXPECT_TRUE(child<RadioGroup>("rdgSel")->isEnabled());
}

TEST_F(AutoTuning, ChangingTheAddressClearsTheReadingsOfTheOldOne)
{
    open();
    window->spbReadClick();
    (void)line.read(frame("01", kReadBody).size());
    answer(replyFrame("DRR", "OK", settingsWords({"0000", "0001", "04D2", "0000", "0000", "0000"})));
    ASSERT_EQ(panel("PanZone"), "OFF");
    address(2);
    for (const char* p : {"PanZone", "PanDot", "PanSv1", "PanSv2", "PanSv3", "PanATM"})
        EXPECT_TRUE(panel(p).isEmpty()) << p;
    for (int r = 1; r <= 9; ++r)
        for (int c = 1; c <= 3; ++c)
            EXPECT_TRUE(grid()->text(r, c).isEmpty()) << r << "," << c;
    EXPECT_EQ(grid()->text(1, 0), "P");
    // Zone OFF was read from 01: "Auto" on 02 is not refused for it.
    select(3);
    clickSwitch();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(line.read(frame("02", "DWS,01,0306,0004").size()), frame("02", "DWS,01,0306,0004"));
}

TEST_F(AutoTuning, SettingsOfAnAddressLeftBehindAreNotShown)
{
    open();
    window->spbReadClick();
    (void)line.read(frame("01", kReadBody).size());
    address(7);
    answer(replyFrame("DRR", "OK", settingsWords({"0001", "0001", "04D2", "0000", "0000", "0000"})));
    EXPECT_TRUE(panel("PanZone").isEmpty());
    EXPECT_TRUE(grid()->text(1, 1).isEmpty());
}

TEST_F(AutoTuning, EnterPressesNoButton)
{
    open();
    auto* adr = child<SpinEdit>("avSEdtAdr");
    adr->setFocus();
    QTest::keyClick(adr, Qt::Key_Return);
    QTest::keyClick(child<RadioGroup>("rdgSel")->item(0), Qt::Key_Enter);
    QTest::keyClick(window.get(), Qt::Key_Return);
    EXPECT_TRUE(line.readAvailable().isEmpty());
    EXPECT_FALSE(tmSendOn());
    EXPECT_TRUE(window->isVisible());
    QTest::keyClick(window.get(), Qt::Key_Escape);  // nor does Esc close it
    EXPECT_TRUE(window->isVisible());
}

// Nothing polls after "통신불량", so the window must not look busy; the
// controller may have taken the start, so the stop stays one click away.
TEST_F(AutoTuning, SilentControllerDuringTuningReturnsToIdleAndOffersTheStop)
{
    open();
    address(5);
    clickSwitch();
    for (int i = 0; i < 4; ++i)
        window->tmSendTimer();
    EXPECT_EQ(dialogs.messageTexts(), QStringList{QStringLiteral("통신불량")});
    EXPECT_FALSE(tmBatOn());
    EXPECT_FALSE(tmSendOn());
    EXPECT_FALSE(messageShown());
    EXPECT_FALSE(startSwitch()->lampOn());
    EXPECT_EQ(startSwitch()->text(), QStringLiteral("시작"));
    EXPECT_TRUE(readButton()->isEnabled());
    EXPECT_TRUE(child<SpinEdit>("avSEdtAdr")->isEnabled());
    EXPECT_TRUE(child<RadioGroup>("rdgSel")->isEnabled());
    auto* still = child<QLabel>("labStillTuning");
    EXPECT_TRUE(still->isVisibleTo(window.get()));
    EXPECT_TRUE(still->text().contains(QStringLiteral("주소 05")) && still->text().contains(QStringLiteral("중지")))
        << still->text().toStdString();
    (void)line.readAvailable();

    // 중지 sends the stop to the run's controller; its answer clears the line.
    QTest::mouseClick(child<QPushButton>("butStopTuning"), Qt::LeftButton);
    EXPECT_EQ(line.read(frame("05", "DWS,01,0306,0000").size()), frame("05", "DWS,01,0306,0000"));
    answer(replyFrame("DWS", "OK", {}, "05"));
    EXPECT_FALSE(still->isVisibleTo(window.get()));
    EXPECT_FALSE(messageShown());
    dialogs.clear();
    QTest::mouseClick(child<QPushButton>("spbExit"), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(AutoTuning, PortThatDoesNotOpenIsReportedOnceAndReadsGiveUpQuietly)
{
    portAt(dir.file(QStringLiteral("no-such-device")));
    open();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text.section('\n', 0, 0), QStringLiteral("통신 불량"));
    EXPECT_EQ(dialogs.messages[0].caption, QStringLiteral("경고"));
    EXPECT_EQ(dialogs.messages[0].style, 16);
    dialogs.clear();
    // The first sending reports the write failure; the resends do not repeat it.
    EXPECT_THROW(window->spbReadClick(), KeloError);
    for (int i = 0; i < 3; ++i)
        EXPECT_NO_THROW(window->tmSendTimer());
    window->tmSendTimer();
    EXPECT_EQ(dialogs.messageTexts(), QStringList{QStringLiteral("통신불량")});
    EXPECT_FALSE(tmSendOn());
}

TEST_F(AutoTuning, StepAndRequestAreKeptForTheNextWindow)
{
    open();
    address(9);
    clickSwitch();
    (void)line.read(frame("09", "DWS,01,0306,0001").size());
    clickSwitch();
    (void)line.readAvailable();
    answer(replyFrame("DWS", "OK", {}, "09"));
    window.reset();
    EXPECT_EQ(TAutoF::AtStep, 3);
    EXPECT_EQ(TAutoF::TxStr, QStringLiteral("09DWS,01,0306,0000"));
    open();
    EXPECT_EQ(TAutoF::AtStep, 3);
    EXPECT_EQ(TAutoF::TxStr, QStringLiteral("09DWS,01,0306,0000"));
}

TEST_F(AutoTuning, ReadWhileARequestIsAwaitedContinuesItsAttemptCount)
{
    open();
    window->spbReadClick();
    window->tmSendTimer();
    window->tmSendTimer();
    const QByteArray read = frame("01", kReadBody);
    EXPECT_EQ(line.read(3 * read.size()), read + read + read);
    window->spbReadClick();  // goes out at once, as the fourth sending
    EXPECT_EQ(line.read(read.size()), read);
    EXPECT_EQ(window->sendAttempts(), 4);
    window->tmSendTimer();
    EXPECT_TRUE(line.readAvailable().isEmpty());
    EXPECT_EQ(dialogs.messageTexts(), QStringList{QStringLiteral("통신불량")});
}
