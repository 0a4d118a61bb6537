#pragma once
#include <QByteArray>
#include <QList>

// Collects reply frames from the bytes a port hands over in arbitrary chunks.
// Bytes in, frames out: it knows nothing of ports or windows.
//
// A frame starts at STX and is complete at the first LF that follows a CR;
// bytes between that CR and the LF stay in the frame. A second STX restarts
// the frame. Noise before an STX, and bytes after a completed frame up to the
// next STX, are dropped. Every frame is reported as soon as its LF arrives,
// so how the line happens to split the bytes never loses or alters a frame.
class ReplyAssembler {
public:
    enum State { Idle = 0, Collecting = 1, CrSeen = 2, Complete = 3 };

    // A frame that grows beyond this many bytes without ending is garbage
    // (a line stuck on noise); it is dropped rather than kept growing.
    static constexpr qsizetype kMaxFrameLength = 4096;

    // Every frame the chunk completes, in order (usually none or one).
    QList<QByteArray> Feed(const QByteArray& chunk);

    // 0 idle, 1 collecting, 2 CR seen; 3 is passed through while a frame
    // completes and is never left standing after Feed.
    [[nodiscard]] int RxState() const { return m_state; }
    // The text since the last STX, STX included: the frame being collected,
    // or after a completion the last complete frame until the next STX.
    [[nodiscard]] const QByteArray& RxBuf() const { return m_buf; }

    // Drops a frame still being collected (counted as abandoned), so the next
    // bytes start afresh; nothing when idle.
    void abandonPartialFrame();

    // Bytes dropped outside frames, and frames abandoned unfinished (restarted
    // by an STX or grown too long), since the assembler was made.
    [[nodiscard]] qint64 droppedBytes() const { return m_droppedBytes; }
    [[nodiscard]] qint64 abandonedFrames() const { return m_abandonedFrames; }

private:
    int m_state = Idle;
    QByteArray m_buf;
    qint64 m_droppedBytes = 0;
    qint64 m_abandonedFrames = 0;
};

// The windows that receive replies; each keeps one assembler for the whole
// run of the program, so closing and reopening a window does not reset it.
enum class ReceivingWindow { Console, Monitoring, AutoTuning };
[[nodiscard]] ReplyAssembler& programAssembler(ReceivingWindow window);
