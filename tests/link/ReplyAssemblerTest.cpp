#include "link/ReplyAssembler.h"
#include "link/FrameProtocol.h"
#include "settings/FuncP.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>
#include "tests/link/QtPrinters.h"

namespace {

const QByteArray kReply = "\x02" "01DRS,OK,0064\r\n";

// Feeds the stream one chunk after another and collects every frame.
QList<QByteArray> feedChunks(ReplyAssembler& assembler, const QList<QByteArray>& chunks)
{
    QList<QByteArray> frames;
    for (const QByteArray& chunk : chunks)
        frames += assembler.Feed(chunk);
    return frames;
}

QList<QByteArray> oneByteChunks(const QByteArray& stream)
{
    QList<QByteArray> chunks;
    for (char c : stream)
        chunks.append(QByteArray(1, c));
    return chunks;
}

} // namespace

TEST(ReplyAssembler, CompleteReplyInOneChunk)
{
    ReplyAssembler assembler;
    const QList<QByteArray> frames = assembler.Feed(kReply);
    ASSERT_EQ(frames.size(), 1);
    EXPECT_EQ(frames.first(), kReply);
    EXPECT_TRUE(ReplyOk(frames.first()));
    EXPECT_EQ(HexWordToInt(ReplyWord(frames.first(), 1)), 100);
    EXPECT_EQ(assembler.RxState(), 0);
    EXPECT_EQ(assembler.RxBuf(), kReply); // kept until the next STX
}

TEST(ReplyAssembler, OneByteChunksCompleteWithTheLf)
{
    ReplyAssembler assembler;
    for (qsizetype i = 0; i + 1 < kReply.size(); ++i) {
        EXPECT_TRUE(assembler.Feed(kReply.mid(i, 1)).isEmpty()) << i;
        EXPECT_EQ(assembler.RxBuf(), kReply.first(i + 1));
    }
    EXPECT_EQ(assembler.RxState(), ReplyAssembler::CrSeen);
    EXPECT_EQ(assembler.Feed("\n"), QList<QByteArray>{kReply});
}

TEST(ReplyAssembler, FramingRules)
{
    struct Case {
        const char* name;
        QByteArray stream;
        QList<QByteArray> frames;
        int stateAfter;
    };
    const Case cases[] = {
        {"noise before STX is dropped", "xy\r\n" + kReply, {kReply}, 0},
        {"second STX restarts the frame", "\x02" "01DR\x02" "02WHO,OK\r\n", {"\x02" "02WHO,OK\r\n"}, 0},
        {"LF without CR does not complete", "\x02" "01WHO\n", {}, 1},
        {"bytes between CR and LF stay", "\x02" "01WHO\rx\n", {"\x02" "01WHO\rx\n"}, 0},
        {"CR CR LF completes", "\x02" "01WHO\r\r\n", {"\x02" "01WHO\r\r\n"}, 0},
        {"bytes after LF are not glued on", kReply + "zz\r\n", {kReply}, 0},
        {"CR LF then STX of the next reply loses neither",
         kReply + "\x02" "02DRS,OK,FFFF\r\n", {kReply, "\x02" "02DRS,OK,FFFF\r\n"}, 0},
        {"unfinished frame waits", "\x02" "01DRS,O", {}, 1},
        {"CR seen waits for LF", "\x02" "01DRS,OK\r", {}, 2},
    };
    for (const Case& c : cases) {
        ReplyAssembler assembler;
        EXPECT_EQ(assembler.Feed(c.stream), c.frames) << c.name;
        EXPECT_EQ(assembler.RxState(), c.stateAfter) << c.name;
    }
}

TEST(ReplyAssembler, AnyChunkingOfAStreamYieldsTheSameFrames)
{
    // Replies with noise, a restarted frame and LFs without CR in between.
    QByteArray stream;
    QList<QByteArray> expected;
    for (int i = 0; i < 200; ++i) {
        const QByteArray frame = BuildFrame(QByteArray::number(i % 31 + 1).rightJustified(2, '0')
                                            + "DRS,OK," + QByteArray::number(i, 16).rightJustified(4, '0').toUpper()
                                            + "\rmid");
        if (i % 7 == 0)
            stream += "noise\n";
        if (i % 11 == 0)
            stream += "\x02" "05DRR,OK,12\n34"; // broken off by the next STX
        stream += frame;
        expected += frame;
        if (i % 5 == 0)
            stream += "after\r\n";
    }

    ReplyAssembler whole;
    EXPECT_EQ(whole.Feed(stream), expected);

    ReplyAssembler bytes;
    EXPECT_EQ(feedChunks(bytes, oneByteChunks(stream)), expected);

    QRandomGenerator random(20240505);
    for (int round = 0; round < 50; ++round) {
        QList<QByteArray> chunks;
        for (qsizetype at = 0; at < stream.size();) {
            const qsizetype n = qMin<qsizetype>(random.bounded(1, 40), stream.size() - at);
            chunks.append(stream.mid(at, n));
            at += n;
        }
        ReplyAssembler assembler;
        EXPECT_EQ(feedChunks(assembler, chunks), expected) << "round " << round;
    }
}

TEST(ReplyAssembler, RunawayFrameIsDroppedAndTheNextOneStillArrives)
{
    ReplyAssembler assembler;
    const QByteArray runaway = "\x02" + QByteArray(ReplyAssembler::kMaxFrameLength + 10, 'A');
    EXPECT_TRUE(assembler.Feed(runaway).isEmpty());
    EXPECT_EQ(assembler.RxState(), 0);
    EXPECT_LE(assembler.RxBuf().size(), ReplyAssembler::kMaxFrameLength);
    EXPECT_EQ(assembler.abandonedFrames(), 1);
    EXPECT_EQ(assembler.Feed("\r\n" + kReply), QList<QByteArray>{kReply});
}

TEST(ReplyAssembler, ProgramAssemblersKeepTheirStateAndAreSeparate)
{
    ReplyAssembler& console = programAssembler(ReceivingWindow::Console);
    EXPECT_TRUE(console.Feed("\x02" "01DRS,").isEmpty());
    // A window closed and reopened finds the half frame again.
    EXPECT_EQ(programAssembler(ReceivingWindow::Console).Feed("OK,0001\r\n"),
              QList<QByteArray>{"\x02" "01DRS,OK,0001\r\n"});
    EXPECT_NE(&programAssembler(ReceivingWindow::Monitoring), &console);
    EXPECT_NE(&programAssembler(ReceivingWindow::AutoTuning), &programAssembler(ReceivingWindow::Monitoring));
    EXPECT_EQ(programAssembler(ReceivingWindow::Monitoring).RxState(), 0);
}

TEST(ReplyAssembler, RunawayFrameOfCrNoiseIsDroppedAndTheBufferStaysBounded)
{
    // A line stuck on CR: every byte is a CR, so no LF ever completes the frame.
    struct Case {
        const char* name;
        QByteArray runaway;
        qsizetype chunk;
    };
    const QByteArray crs(3 * ReplyAssembler::kMaxFrameLength, kCr);
    const Case cases[] = {
        {"CRs in one chunk", "\x02" + crs, 0},
        {"CRs one at a time", "\x02" + crs, 1},
        {"CRs in odd chunks", "\x02" "01DRS" + crs, 7},
        {"CR just past the limit, then LF", "\x02" + QByteArray(ReplyAssembler::kMaxFrameLength - 1, 'A') + "\r\n", 0},
    };
    for (const Case& c : cases) {
        ReplyAssembler assembler;
        QList<QByteArray> chunks{c.runaway};
        if (c.chunk > 0) {
            chunks.clear();
            for (qsizetype at = 0; at < c.runaway.size(); at += c.chunk)
                chunks.append(c.runaway.mid(at, c.chunk));
        }
        for (const QByteArray& chunk : chunks) {
            EXPECT_TRUE(assembler.Feed(chunk).isEmpty()) << c.name;
            ASSERT_LE(assembler.RxBuf().size(), ReplyAssembler::kMaxFrameLength + 1) << c.name;
        }
        EXPECT_GE(assembler.abandonedFrames(), 1) << c.name;
        EXPECT_EQ(assembler.Feed("\n" + kReply), QList<QByteArray>{kReply}) << c.name;
    }
}
