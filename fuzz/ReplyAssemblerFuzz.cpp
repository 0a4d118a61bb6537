// The reply assembler fed an arbitrary byte stream in arbitrary chunks.
//
// Input: byte 0 = L (low 4 bits: count of chunk-length bytes) and R (high 4
// bits: the stream is repeated up to 1 + R*R*20 times, at most to about three
// times kMaxFrameLength, so runaway frames are reachable from short inputs);
// then L length bytes
// (cycled; 255 = "the rest"); the rest is the stream.
//
// Checked: the frames equal those of a plain model of the framing rules, and
// for short streams do not depend on the chunking (one chunk, the fuzzed
// chunks and one byte at a time agree, counters and state included); every frame starts with its only STX,
// ends at the first LF after a CR and is at most kMaxFrameLength + 1 bytes;
// the assembler's buffer stays bounded between chunks and its state is 0-2.
#include "fuzz/FuzzInput.h"
#include "link/FrameProtocol.h"
#include "link/ReplyAssembler.h"

#include <cstdint>

namespace {

constexpr qsizetype kMax = ReplyAssembler::kMaxFrameLength;

// The framing rules stated over the whole stream at once: a frame runs from
// an STX to the first LF after the first CR, unless another STX comes first or
// the frame would pass kMax bytes before its LF.
QList<QByteArray> modelFrames(const QByteArray& s)
{
    QList<QByteArray> frames;
    qsizetype at = s.indexOf(kStx);
    while (at >= 0) {
        const qsizetype next = s.indexOf(kStx, at + 1);
        // Only the bytes up to the next STX belong to this frame.
        const QByteArrayView body = QByteArrayView(s).sliced(at, (next < 0 ? s.size() : next) - at);
        const qsizetype cr = body.indexOf(kCr);
        const qsizetype lf = cr < 0 ? -1 : body.sliced(cr).indexOf(kLf);
        if (lf >= 0 && cr + lf <= kMax)
            frames.append(body.first(cr + lf + 1).toByteArray());
        at = next;
    }
    return frames;
}

void checkFrame(const QByteArray& f)
{
    FUZZ_CHECK(f.size() >= 3, "a frame holds STX, CR and LF");
    FUZZ_CHECK(f.front() == kStx, "a frame starts with STX");
    FUZZ_CHECK(f.indexOf(kStx, 1) < 0, "a frame holds only its first STX");
    FUZZ_CHECK(f.back() == kLf, "a frame ends with LF");
    const qsizetype cr = f.indexOf(kCr);
    FUZZ_CHECK(cr >= 0 && f.indexOf(kLf, cr) == f.size() - 1, "a frame ends at the first LF after a CR");
    FUZZ_CHECK(f.size() <= kMax + 1, "a frame is bounded");
}

void checkBetweenChunks(const ReplyAssembler& a, qint64 droppedBefore, qint64 abandonedBefore)
{
    FUZZ_CHECK(a.RxState() >= 0 && a.RxState() <= 2, "state 0-2 after Feed");
    FUZZ_CHECK(a.RxBuf().size() <= kMax + 1, "receive buffer stays bounded");
    FUZZ_CHECK(a.droppedBytes() >= droppedBefore && a.abandonedFrames() >= abandonedBefore,
               "counters never go back");
    if (a.RxState() != 0)
        FUZZ_CHECK(!a.RxBuf().isEmpty() && a.RxBuf().front() == kStx, "a frame being collected starts with STX");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const int lengthCount = data[0] & 0x0F;
    // Long streams cost a thousand times a short one; a hash of the input
    // keeps them to about one input in eight of those that ask for them, so
    // their mutations mostly run short.
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 16777619u;
    const bool longStream = (data[0] >> 4) == 15 && hash % 8 == 0;
    const size_t header = 1 + size_t(lengthCount) + (longStream ? 2 : 0);
    if (size < header)
        return 0;
    const uint8_t* lengths = data + 1;
    QByteArray stream(reinterpret_cast<const char*>(data + header), qsizetype(size - header));
    if (longStream) {
        const qsizetype head = std::min<qsizetype>(data[header - 2], stream.size());
        const qsizetype middle = std::min<qsizetype>(std::max<int>(data[header - 1], 1), stream.size() - head);
        if (middle > 0) {
            const QByteArray piece = stream.mid(head, middle);
            stream = stream.left(head) + piece.repeated((kMax + 16) / middle + 1) + stream.mid(head + middle);
        }
    }

    // The frames the rules give; a long stream is checked against them only
    // (fed once, chunked), a short one also fed whole and byte by byte.
    const QList<QByteArray> expected = modelFrames(stream);
    for (const QByteArray& f : expected)
        checkFrame(f);

    ReplyAssembler chunked;
    QList<QByteArray> got;
    qsizetype at = 0;
    for (int k = 0; at < stream.size(); ++k) {
        qsizetype n = stream.size() - at;
        if (lengthCount > 0 && lengths[k % lengthCount] != 255)
            n = std::min<qsizetype>(n, lengths[k % lengthCount] + 1);
        const qint64 dropped = chunked.droppedBytes(), abandoned = chunked.abandonedFrames();
        // Raw views: the harness should cost no allocation per chunk.
        got += chunked.Feed(QByteArray::fromRawData(stream.constData() + at, n));
        checkBetweenChunks(chunked, dropped, abandoned);
        at += n;
    }
    FUZZ_CHECK(got == expected, "frames follow the framing rules, however the stream is chunked");
    if (longStream)
        return 0;

    ReplyAssembler whole;
    FUZZ_CHECK(whole.Feed(stream) == expected, "one chunk gives the same frames");
    FUZZ_CHECK(chunked.droppedBytes() == whole.droppedBytes() && chunked.abandonedFrames() == whole.abandonedFrames(),
               "chunking changes no counter");
    FUZZ_CHECK(chunked.RxState() == whole.RxState() && chunked.RxBuf() == whole.RxBuf(),
               "chunking changes no state");

    if (stream.size() > 512)
        return 0; // one byte at a time is the slowest path
    ReplyAssembler bytes;
    QList<QByteArray> one;
    for (qsizetype i = 0; i < stream.size(); ++i)
        one += bytes.Feed(QByteArray::fromRawData(stream.constData() + i, 1));
    FUZZ_CHECK(one == expected, "one-byte chunks change no frame");
    return 0;
}
