#include "link/ReplyAssembler.h"

#include "link/FrameProtocol.h"

QList<QByteArray> ReplyAssembler::Feed(const QByteArray& chunk)
{
    QList<QByteArray> frames;
    for (const char byte : chunk) {
        if (byte == kStx) {
            if (m_state == Collecting || m_state == CrSeen)
                ++m_abandonedFrames;
            m_state = Collecting;
            m_buf.clear();
        }
        if (m_state == Idle) {
            ++m_droppedBytes;
            continue;
        }
        m_buf.append(byte);
        if (byte == kCr) {
            m_state = CrSeen;
        } else if (m_state == CrSeen && byte == kLf) {
            m_state = Complete;
            frames.append(m_buf);
            // The frame stays in RxBuf until the next STX; anything up to that
            // STX is noise.
            m_state = Idle;
            continue;
        }
        // CRs count as well: a line stuck on CR noise must not grow a frame without end.
        if (m_buf.size() > kMaxFrameLength) {
            ++m_abandonedFrames;
            m_droppedBytes += m_buf.size();
            m_buf.clear();
            m_state = Idle;
        }
    }
    return frames;
}

ReplyAssembler& programAssembler(ReceivingWindow window)
{
    static ReplyAssembler console;
    static ReplyAssembler monitoring;
    static ReplyAssembler autoTuning;
    switch (window) {
    case ReceivingWindow::Console:
        return console;
    case ReceivingWindow::Monitoring:
        return monitoring;
    case ReceivingWindow::AutoTuning:
        break;
    }
    return autoTuning;
}

void ReplyAssembler::abandonPartialFrame()
{
    if (m_state != Collecting && m_state != CrSeen)
        return;
    ++m_abandonedFrames;
    m_state = Idle;
    m_buf.clear();
}
