#include "link/FrameProtocol.h"
#include "link/ReplyAssembler.h"

#include <QRandomGenerator>
#include <benchmark/benchmark.h>

namespace {

// A long stream of DRS and DRR replies with a little noise, cut in random
// chunks the way the line's notifications split it.
struct Stream {
    QByteArray bytes;
    QList<QByteArray> chunks;
    int frames = 0;
};

Stream makeStream(int maxChunk)
{
    Stream s;
    QRandomGenerator random(7);
    for (int i = 0; i < 20000; ++i) {
        QByteArray content = QByteArray::number(i % 31 + 1).rightJustified(2, '0') + "DRS,OK";
        const int words = i % 10 == 0 ? 32 : 1;
        for (int k = 0; k < words; ++k)
            content += ',' + QByteArray::number(random.bounded(0x10000), 16).rightJustified(4, '0').toUpper();
        s.bytes += BuildFrame(content);
        ++s.frames;
        if (i % 50 == 0)
            s.bytes += "\x7f\x00noise";
    }
    for (qsizetype at = 0; at < s.bytes.size();) {
        const qsizetype n = qMin<qsizetype>(random.bounded(1, maxChunk + 1), s.bytes.size() - at);
        s.chunks.append(s.bytes.mid(at, n));
        at += n;
    }
    return s;
}

void AssembleRandomChunks(benchmark::State& state)
{
    const Stream s = makeStream(int(state.range(0)));
    qint64 frames = 0;
    for (auto _ : state) {
        ReplyAssembler assembler;
        for (const QByteArray& chunk : s.chunks)
            frames += assembler.Feed(chunk).size();
    }
    if (frames != qint64(s.frames) * qint64(state.iterations()))
        state.SkipWithError("frames lost");
    state.SetBytesProcessed(qint64(state.iterations()) * s.bytes.size());
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}

} // namespace

// Chunks of 1 to N bytes: 1 is the worst case (one notification per byte),
// 64 is what a 1024-byte driver queue at 9600 baud typically hands over.
BENCHMARK(AssembleRandomChunks)->Arg(1)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond);
