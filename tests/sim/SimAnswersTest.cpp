#include "tests/sim/PtyPeer.h"

#include "link/FrameProtocol.h"

#include "sim/SimServer.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

// A server on a new pseudo-terminal with a clock the test turns by hand, and
// the program's side of the line.
struct Line {
    qint64 t = 1000;
    SimServer server;
    std::unique_ptr<PtyPeer> peer;

    explicit Line(QList<int> addresses = {1, 2, 5}, qint64 tuningMs = 5000)
        : server(SimServer::Options{{}, addresses, {}, tuningMs, [this] { return t; }})
    {
        QString error;
        EXPECT_TRUE(server.start(&error)) << error.toStdString();
        peer = std::make_unique<PtyPeer>(server.port().devicePath());
        EXPECT_TRUE(peer->isOpen());
    }

    // Sends STX + text + CR LF and returns what comes back, at least as many
    // bytes as the expected reply has.
    QByteArray ask(const QByteArray& text, const QByteArray& expectedText)
    {
        peer->send(BuildFrame(text));
        return peer->receive(server, BuildFrame(expectedText).size());
    }
};

} // namespace

TEST(SimAnswers, RepliesCarryAddressCommandStatusAndWordsInFrameLayout)
{
    Line line;
    struct Case {
        const char* request;
        QByteArray reply;
    };
    const Case cases[] = {
        {"01WHO", "01WHO,OK,KELOSIM,TC-100,V1.0"},
        {"05WHO", "05WHO,OK,KELOSIM,TC-100,V1.0"},
        // One register: the process value starts at the ambient 25.0.
        {"01DRS,01,0001", "01DRS,OK,00FA"},
        {"01DRS,01,0614", "01DRS,OK,0001"},
        // Several consecutive registers: the three set values of address 2.
        {"02DRS,03,0301", "02DRS,OK,09C4,0A28,0A8C"},
        {"01DRR,03,0303,0102,0301", "01DRR,OK,0898,0001,07D0"},
        // Registers nobody set read 0.
        {"01DRS,02,4000", "01DRS,OK,0000,0000"},
        // Writes answer with the status alone, and what they wrote reads back.
        {"01DWR,02,0301,0050,0303,FFF6", "01DWR,OK"},
        {"01DRS,03,0301", "01DRS,OK,0050,0834,FFF6"},
        {"01DWS,02,0302,0011,0022", "01DWS,OK"},
        {"01DRS,02,0302", "01DRS,OK,0011,0022"},
        {"01DMC", "01DMC,NG"},
        {"01DMS,02,0302,0001", "01DMS,OK"},
        {"01DMC", "01DMC,OK,0011,00FA"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(line.ask(c.request, c.reply), BuildFrame(c.reply)) << c.request;
}

// The auto-tuning window's 32-register read gets one word per register in the
// order asked, 0614 twice.
TEST(SimAnswers, TuningSettingsReadGivesTheThirtyTwoWordsInOrder)
{
    Line line;
    const QByteArray body =
        "DRR,32,0102,0614,0301,0302,0303,0310,0311,0312,0313,0314,0315,0316,0317,0318,0320,0321,"
        "0322,0323,0324,0325,0326,0327,0328,0330,0331,0332,0333,0334,0335,0336,0337,0614";
    const QByteArray pid = "0032,00F0,003C,0000,0032,00F0,003C,0005,0000";   // P I D MR Pc Ic Dc DB RP
    const QByteArray reply = "01DRR,OK,0001,0001,07D0,0834,0898,0000," + pid + "," + pid + ","
        + "0032,00F0,003C,0000,0032,00F0,003C,0001";
    ASSERT_EQ(reply.count(',') - 1, 32);
    EXPECT_EQ(line.ask("01" + body, reply), BuildFrame(reply));
}

TEST(SimAnswers, BadRequestsAreRefusedWithNg)
{
    Line line;
    const char* refused[][2] = {
        {"01XYZ", "01XYZ,NG"},
        {"01who", "01who,NG"},
        {"01WHO,1", "01WHO,NG"},
        {"01DRSX,01,0001", "01DRS,NG"},
        {"01DRS,00,0001", "01DRS,NG"},           // nothing to read
        {"01DRS,1,0001", "01DRS,NG"},            // count of one digit
        {"01DRS,02,0001,0002", "01DRS,NG"},      // a field too many
        {"01DRS,01,001", "01DRS,NG"},            // register of three digits
        {"01DRS,02,9999", "01DRS,NG"},           // runs past the last register
        {"01DRR,03,0001,0002", "01DRR,NG"},      // fewer registers than counted
        {"01DRR,01,00A1", "01DRR,NG"},
        {"01DWS,01,0301,00g0", "01DWS,NG"},      // lower-case digit
        {"01DWS,01,0301,064", "01DWS,NG"},
        {"01DWS,01,0001,0064", "01DWS,NG"},      // the process value is measured, not set
        {"01DWS,01,0306,0005", "01DWS,NG"},      // no such tuning choice
        {"01DWS,01,0614,0004", "01DWS,NG"},
        {"01DWR,01,0301", "01DWR,NG"},
        {"01DMS,02,0001", "01DMS,NG"},
        {"01DMC,01", "01DMC,NG"},
        {"01", "01,NG"},
    };
    for (const auto& c : refused)
        EXPECT_EQ(line.ask(c[0], c[1]), BuildFrame(c[1])) << c[0];

    // A refused write changes nothing, not even its acceptable part.
    EXPECT_EQ(line.ask("01DWR,02,0301,0064,0001,0064", "01DWR,NG"), BuildFrame("01DWR,NG"));
    EXPECT_EQ(line.ask("01DRS,01,0301", "01DRS,OK,07D0"), BuildFrame("01DRS,OK,07D0"));
}

// Writing 0001..0004 to 0306 starts a run that reads back its choice until it
// ends and then reads 0000; the tuned PID set has new parameters. Writing
// 0000 stops a run early and leaves the parameters alone.
TEST(SimAnswers, TuningCommandRunsForItsDurationThenReadsZero)
{
    Line line({5}, 8000);
    EXPECT_EQ(line.ask("05DWS,01,0306,0002", "05DWS,OK"), BuildFrame("05DWS,OK"));
    EXPECT_EQ(line.ask("05DRS,01,0306", "05DRS,OK,0002"), BuildFrame("05DRS,OK,0002"));
    line.t += 7999;
    EXPECT_EQ(line.ask("05DRS,01,0306", "05DRS,OK,0002"), BuildFrame("05DRS,OK,0002"));
    line.t += 1;
    EXPECT_EQ(line.ask("05DRS,01,0306", "05DRS,OK,0000"), BuildFrame("05DRS,OK,0000"));
    // Set 2 (0321..0323) was tuned, set 1 (0311..0313) was not.
    EXPECT_EQ(line.ask("05DRR,06,0311,0312,0313,0321,0322,0323", "05DRR,OK,0032,00F0,003C,0025,00E1,0037"),
              BuildFrame("05DRR,OK,0032,00F0,003C,0025,00E1,0037"));

    EXPECT_EQ(line.ask("05DWS,01,0306,0001", "05DWS,OK"), BuildFrame("05DWS,OK"));
    line.t += 1000;
    EXPECT_EQ(line.ask("05DWS,01,0306,0000", "05DWS,OK"), BuildFrame("05DWS,OK"));
    EXPECT_EQ(line.ask("05DRS,01,0306", "05DRS,OK,0000"), BuildFrame("05DRS,OK,0000"));
    line.t += 60000;
    EXPECT_EQ(line.ask("05DRS,03,0311", "05DRS,OK,0032,00F0,003C"), BuildFrame("05DRS,OK,0032,00F0,003C"));
}

TEST(SimAnswers, AutoTuningNeedsZonePidOn)
{
    Line line({1});
    EXPECT_EQ(line.ask("01DWS,01,0102,0000", "01DWS,OK"), BuildFrame("01DWS,OK"));
    EXPECT_EQ(line.ask("01DWS,01,0306,0004", "01DWS,NG"), BuildFrame("01DWS,NG"));
    EXPECT_EQ(line.ask("01DWS,01,0306,0003", "01DWS,OK"), BuildFrame("01DWS,OK"));
    EXPECT_EQ(line.ask("01DRS,01,0306", "01DRS,OK,0003"), BuildFrame("01DRS,OK,0003"));
}

// The process value read over the line climbs from the ambient towards the
// set value as the clock turns.
TEST(SimAnswers, ProcessValueClimbsTowardsTheSetValue)
{
    Line line({1});
    EXPECT_EQ(line.ask("01DWS,01,0301,0190", "01DWS,OK"), BuildFrame("01DWS,OK"));   // 40.0
    line.t += 60000;
    const QByteArray early = line.ask("01DRS,01,0001", "01DRS,OK,0000");
    line.t += 3600 * 1000;
    const QByteArray late = line.ask("01DRS,01,0001", "01DRS,OK,0000");
    const int a = early.mid(10, 4).toInt(nullptr, 16), b = late.mid(10, 4).toInt(nullptr, 16);
    EXPECT_GT(a, 250);
    EXPECT_LT(a, 400);
    EXPECT_EQ(b, 400);
}

// A frame for an address that no controller has gets no reply; the next one does.
TEST(SimAnswers, UnknownAddressStaysSilent)
{
    Line line({1});
    line.peer->send(BuildFrame("07WHO") + BuildFrame("xxWHO"));
    EXPECT_EQ(line.ask("01DRS,01,0102", "01DRS,OK,0001"), BuildFrame("01DRS,OK,0001"));
}
