#pragma once
#include "sim/SimController.h"

#include <QByteArray>
#include <QList>
#include <map>
#include <memory>
#include <optional>

// The controllers sharing one line. Answers one request frame
// (STX + address + body + CR LF) the way a controller at that address does:
//   reads  STX aa DRS,OK,hhhh,hhhh CR LF   (one word per register read)
//   writes STX aa DWS,OK CR LF
//   refusal STX aa DRS,NG CR LF            (malformed body, unknown command,
//                                           a register that does not take the value)
// A frame for an address nobody has gets no reply at all.
class SimBus {
public:
    SimBus(const QList<int>& addresses, qint64 nowMs,
           qint64 tuningMs = SimController::kDefaultTuningMs);

    [[nodiscard]] std::optional<QByteArray> answer(const QByteArray& frame, qint64 nowMs);

    // The controller at the address, or null.
    [[nodiscard]] SimController* controller(int address);
    [[nodiscard]] QList<int> addresses() const;

    // The station number a request frame is addressed to, or -1.
    [[nodiscard]] static int addressOf(const QByteArray& frame);

private:
    std::map<int, std::unique_ptr<SimController>> m_controllers;
};

// STX + address + command + "," + status, then "," + each field, then CR LF.
[[nodiscard]] QByteArray simReply(const QByteArray& address, const QByteArray& command,
                                  const QByteArray& status, const QList<QByteArray>& fields = {});
// A 16-bit value as four upper-case hexadecimal digits (two's complement).
[[nodiscard]] QByteArray hexWord(qint16 value);
