#include "link/FrameProtocol.h"
#include "settings/FuncP.h"

#include <gtest/gtest.h>
#include "tests/link/QtPrinters.h"

TEST(FrameProtocol, RequestBytesOnTheLine)
{
    struct Case {
        QString address;
        QString body;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"5", "WHO", QByteArray::fromHex("02303557484F0D0A")},
        {" 7 ", "DRS,01,0306", "\x02" "07DRS,01,0306\r\n"},
        {"31", "DMC", "\x02" "31DMC\r\n"},
        {"123", "WHO", "\x02" "123WHO\r\n"},   // a longer typed address goes out whole
        {"", "WHO", "\x02" "00WHO\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BuildRequest(c.address, c.body), c.bytes) << c.address.toStdString();
    EXPECT_EQ(BuildRequest(5, "WHO"), QByteArray::fromHex("02303557484F0D0A"));
}

TEST(FrameProtocol, ReplyStatusAndWords)
{
    const QByteArray reply = "\x02" "01DRS,OK,0064,7FFF,8000,FFFF\r\n";
    EXPECT_TRUE(ReplyOk(reply));
    const int expected[] = {100, 32767, -32768, -1};
    for (int k = 1; k <= 4; ++k)
        EXPECT_EQ(HexWordToInt(ReplyWord(reply, k)), expected[k - 1]) << k;
    // Past the last word the frame's end shows through, then nothing.
    EXPECT_EQ(ReplyWord(reply, 5), "\n");
    EXPECT_EQ(ReplyWord(reply, 6), "");

    struct Status {
        QByteArray frame;
        bool ok;
    };
    const Status statuses[] = {
        {"\x02" "01DRS,OK,0064\r\n", true},
        {"\x02" "01DRS,NG,0064\r\n", false},
        {"\x02" "01DRS,ok\r\n", false},
        {"\x02" "01DRS,O", false},
        {"", false},
    };
    for (const Status& s : statuses)
        EXPECT_EQ(ReplyOk(s.frame), s.ok) << s.frame.toStdString();
    EXPECT_EQ(ReplyWord("\x02" "01DRS,OK,00", 1), "00");
    EXPECT_EQ(HexWordToInt(ReplyWord("\x02" "01DRS,OK", 1)), 0);
    EXPECT_EQ(HexWordToInt(ReplyWord("\x02" "01DRS,OK,00G0\r\n", 1)), BadHexValue);
}

TEST(FrameProtocol, TrafficLogLineMarksControlBytesAndDropsTheClosingCrLf)
{
    const struct {
        QByteArray frame;
        const char* text;
        const char* hex;
    } cases[] = {
        {"\x02" "01DRS,OK,0064\r\n", "[수신]=> <STX>01DRS,OK,0064",
         "[수신]=> 02 30 31 44 52 53 2C 4F 4B 2C 30 30 36 34 0D 0A"},
        {"\x02" "01DR\rS\n\x1b\x7f\xb0\r\n", "[수신]=> <STX>01DR<CR>S<LF><1B><7F><B0>",
         "[수신]=> 02 30 31 44 52 0D 53 0A 1B 7F B0 0D 0A"},
        {"\n", "[수신]=> <LF>", "[수신]=> 0A"},
        {"\x02" "01WHO", "[수신]=> <STX>01WHO", "[수신]=> 02 30 31 57 48 4F"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TrafficLogLine(TrafficDirection::Received, c.frame), QString::fromUtf8(c.text));
        EXPECT_EQ(TrafficHexLine(TrafficDirection::Received, c.frame), QString::fromUtf8(c.hex));
    }
    EXPECT_EQ(TrafficLogLine(TrafficDirection::Sent, BuildRequest("1", "WHO")), QStringLiteral("[송신]=> <STX>01WHO"));
}

TEST(FrameProtocol, CommandTableOffersSevenCommandsWithFramableExamples)
{
    const QList<ProtocolCommand>& commands = ProtocolCommands();
    QStringList codes;
    for (const ProtocolCommand& command : commands) {
        codes << command.code;
        EXPECT_TRUE(command.consoleText.startsWith(command.code + " => ")) << command.code.toStdString();
        EXPECT_TRUE(command.exampleBody.startsWith(command.code)) << command.code.toStdString();
    }
    EXPECT_EQ(codes, QStringList({"WHO", "DRS", "DRR", "DWS", "DWR", "DMS", "DMC"}));
    EXPECT_EQ(commands.at(1).consoleText, QStringLiteral("DRS => D Register 연속 Read"));
    EXPECT_EQ(commands.at(4).exampleBody, "DWR,02,0301,0050,0303,0060");
}

TEST(FrameProtocol, FrameContentIsTheTextBetweenStxAndCrLf)
{
    EXPECT_EQ(BuildFrame("05DRS,OK,0001"), "\x02" "05DRS,OK,0001\r\n");
    EXPECT_EQ(FrameContent(BuildRequest("5", "DRS,01,0001")), "05DRS,01,0001");
    EXPECT_EQ(FrameContent("no frame"), "no frame");
}
