#include "tests/sim/PtyPeer.h"

#include "link/FrameProtocol.h"

#include "link/ReplyAssembler.h"
#include "sim/SimServer.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

struct Line {
    qint64 t = 1000;
    QTemporaryDir dir;
    SimServer server;
    std::unique_ptr<PtyPeer> peer;

    explicit Line(SimFaults faults)
        : server(SimServer::Options{{{}, dir.filePath(QStringLiteral("kelosim.tty"))}, {1, 2, 3}, faults, 5000,
                                    [this] { return t; }})
    {
        QString error;
        EXPECT_TRUE(server.start(&error)) << error.toStdString();
        peer = std::make_unique<PtyPeer>(link());
        EXPECT_TRUE(peer->isOpen());
    }
    [[nodiscard]] QString link() const { return dir.filePath(QStringLiteral("kelosim.tty")); }
};

const QByteArray kWho1 = BuildFrame("01WHO,OK,KELOSIM,TC-100,V1.0");
const QByteArray kWho2 = BuildFrame("02WHO,OK,KELOSIM,TC-100,V1.0");
const QByteArray kWho3 = BuildFrame("03WHO,OK,KELOSIM,TC-100,V1.0");

} // namespace

TEST(SimFaults, DelayedReplyGoesOutOnlyWhenItsTimeHasCome)
{
    SimFaults f;
    f.replyDelayMs = 500;
    Line line(f);
    line.peer->send(BuildFrame("01WHO"));
    EXPECT_EQ(line.peer->drain(line.server), QByteArray());
    line.t += 499;
    EXPECT_EQ(line.peer->drain(line.server), QByteArray());
    line.t += 1;
    EXPECT_EQ(line.peer->receive(line.server, kWho1.size()), kWho1);
}

// 01WHO (8 bytes) and its 31-byte reply take 39 x 10 bits: 40.6 ms at 9600 baud.
TEST(SimFaults, AWireBaudKeepsTheReplyForItsTimeOnTheLine)
{
    SimFaults f;
    f.wireBaud = 9600;
    Line line(f);
    line.peer->send(BuildFrame("01WHO"));
    EXPECT_EQ(line.peer->drain(line.server), QByteArray());
    line.t += 40;
    EXPECT_EQ(line.peer->drain(line.server), QByteArray());
    line.t += 1;
    EXPECT_EQ(line.peer->receive(line.server, kWho1.size()), kWho1);
}

TEST(SimFaults, SilentAddressNeverAnswersWhileOthersDo)
{
    SimFaults f;
    f.silent = {2};
    Line line(f);
    line.peer->send(BuildFrame("02WHO") + BuildFrame("01WHO") + BuildFrame("02WHO") + BuildFrame("03WHO"));
    EXPECT_EQ(line.peer->receive(line.server, kWho1.size() + kWho3.size()), kWho1 + kWho3);
    EXPECT_EQ(line.peer->drain(line.server), QByteArray());
}

TEST(SimFaults, EveryNthReplyIsRefused)
{
    SimFaults f;
    f.refuseEvery = 2;
    Line line(f);
    line.peer->send(BuildFrame("01DRS,01,0102") + BuildFrame("02DRS,01,0102") + BuildFrame("03DWS,01,0301,0001")
                    + BuildFrame("01WHO"));
    const QByteArray expected = BuildFrame("01DRS,OK,0001") + BuildFrame("02DRS,NG") + BuildFrame("03DWS,OK") + BuildFrame("01WHO,NG");
    EXPECT_EQ(line.peer->receive(line.server, expected.size()), expected);
}

// Noise before a reply, with a frame start that breaks off, ends in the reply
// itself: a receiver that drops noise and restarts at STX still gets it whole.
TEST(SimFaults, GarbageComesBeforeTheReplyAndLeavesItWhole)
{
    SimFaults f;
    f.garbageEvery = 1;
    Line line(f);
    line.peer->send(BuildFrame("01WHO"));
    const QByteArray got = line.peer->receive(line.server, kWho1.size() + 1);
    const QByteArray rest = got + line.peer->drain(line.server);
    EXPECT_TRUE(rest.endsWith(kWho1));
    EXPECT_GT(rest.size(), kWho1.size());
    ReplyAssembler rx;
    EXPECT_EQ(rx.Feed(rest), QList<QByteArray>{kWho1});
    EXPECT_EQ(rx.abandonedFrames(), 1) << "a broken-off frame start is part of the noise";
}

// A split reply goes out piece by piece, each at its own time.
TEST(SimFaults, SplitReplyArrivesInPiecesThatMakeTheReply)
{
    SimFaults f;
    f.splitEvery = 1;
    f.splitPieces = 3;
    f.splitGapMs = 40;
    Line line(f);
    const QByteArray reply = BuildFrame("01DRS,OK,00FA");   // 16 bytes: pieces of 5, 5 and 6
    ASSERT_EQ(reply.size(), 16);
    line.peer->send(BuildFrame("01DRS,01,0001"));
    EXPECT_EQ(line.peer->receive(line.server, 5), reply.left(5));
    EXPECT_EQ(line.peer->drain(line.server), QByteArray());
    line.t += 40;
    EXPECT_EQ(line.peer->receive(line.server, 5), reply.mid(5, 5));
    EXPECT_EQ(line.peer->drain(line.server), QByteArray());
    line.t += 40;
    EXPECT_EQ(line.peer->receive(line.server, 6), reply.mid(10));
}

// A joined reply is held back and comes in one piece with the next reply.
TEST(SimFaults, JoinedReplyComesTogetherWithTheNext)
{
    SimFaults f;
    f.joinEvery = 2;
    Line line(f);
    line.peer->send(BuildFrame("01WHO"));
    EXPECT_EQ(line.peer->receive(line.server, kWho1.size()), kWho1);
    line.peer->send(BuildFrame("02WHO"));
    EXPECT_EQ(line.peer->drain(line.server), QByteArray());
    line.peer->send(BuildFrame("03WHO"));
    EXPECT_EQ(line.peer->receive(line.server, kWho2.size() + kWho3.size()), kWho2 + kWho3);
}

// A late reply is overtaken by the reply to the next request.
TEST(SimFaults, LateReplyComesAfterTheReplyToTheNextRequest)
{
    SimFaults f;
    f.lateEvery = 2;
    f.lateByMs = 300;
    Line line(f);
    line.peer->send(BuildFrame("01WHO"));
    EXPECT_EQ(line.peer->receive(line.server, kWho1.size()), kWho1);
    line.peer->send(BuildFrame("02WHO"));
    EXPECT_EQ(line.peer->drain(line.server), QByteArray());
    line.peer->send(BuildFrame("03WHO"));
    EXPECT_EQ(line.peer->receive(line.server, kWho3.size()), kWho3);
    EXPECT_EQ(line.server.bytesQueued(), kWho2.size());
    line.t += 299;
    EXPECT_EQ(line.peer->drain(line.server), QByteArray());
    line.t += 1;
    EXPECT_EQ(line.peer->receive(line.server, kWho2.size()), kWho2);
    EXPECT_EQ(line.server.bytesQueued(), 0);
    EXPECT_EQ(line.server.bytesWritten(), kWho1.size() + kWho2.size() + kWho3.size());
}

// The port vanishes: the program's side hangs up and the link goes away.
// It comes back as a new pseudo-terminal behind the same link.
TEST(SimFaults, VanishedPortHangsUpAndReturnsBehindTheSameLink)
{
    Line line({});
    const QString first = line.server.port().devicePath();
    EXPECT_EQ(QFileInfo(line.link()).symLinkTarget(), first);

    line.server.vanish();
    EXPECT_TRUE(line.peer->hungUp());
    EXPECT_FALSE(QFileInfo(line.link()).isSymLink());

    ASSERT_TRUE(line.server.reappear());
    EXPECT_EQ(QFileInfo(line.link()).symLinkTarget(), line.server.port().devicePath());
    PtyPeer again(line.link());
    ASSERT_TRUE(again.isOpen());
    again.send(BuildFrame("01WHO"));
    EXPECT_EQ(again.receive(line.server, kWho1.size()), kWho1);

    line.server.stop();
    EXPECT_FALSE(QFileInfo(line.link()).isSymLink()) << "stopping removes the link";
}

TEST(SimFaults, LinkPathHoldingAnOrdinaryFileIsLeftAlone)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kelosim.tty"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();

    SimServer server(SimServer::Options{{{}, path}, {1}, {}, 5000, {}});
    QString error;
    EXPECT_FALSE(server.start(&error));
    EXPECT_TRUE(error.contains(path)) << error.toStdString();
    QFile again(path);
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_EQ(again.readAll(), QByteArray("keep me"));
}
