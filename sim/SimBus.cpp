#include "sim/SimBus.h"

#include "sim/SimRegisters.h"

#include "link/FrameProtocol.h"

namespace {

bool allOf(const QByteArray& text, int width, bool (*ok)(char))
{
    if (text.size() != width)
        return false;
    for (char c : text) {
        if (!ok(c))
            return false;
    }
    return true;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHex(char c) { return isDigit(c) || (c >= 'A' && c <= 'F'); }

std::optional<int> count(const QByteArray& f)
{
    if (!allOf(f, 2, isDigit) || f.toInt() == 0)
        return std::nullopt;
    return f.toInt();
}

std::optional<int> reg(const QByteArray& f)
{
    if (!allOf(f, 4, isDigit))
        return std::nullopt;
    return f.toInt();
}

std::optional<qint16> data(const QByteArray& f)
{
    if (!allOf(f, 4, isHex))
        return std::nullopt;
    return static_cast<qint16>(f.toUShort(nullptr, 16));
}

// What one request asks of a controller: registers to read, or writes to make.
struct Request {
    QList<int> reads;
    QList<std::pair<int, qint16>> writes;
    bool monitorSet = false;
};

// The request body's fields after the command, or nothing when they do not
// fit the command's layout.
std::optional<Request> parse(const QByteArray& command, const QList<QByteArray>& f)
{
    Request r;
    if (command == "WHO" || command == "DMC")
        return f.isEmpty() ? std::optional<Request>(r) : std::nullopt;
    if (f.isEmpty())
        return std::nullopt;
    const auto n = count(f[0]);
    if (!n)
        return std::nullopt;
    if (command == "DRS" || command == "DWS") {
        const int dataFields = command == "DWS" ? *n : 0;
        if (f.size() != 2 + dataFields)
            return std::nullopt;
        const auto start = reg(f[1]);
        if (!start || *start + *n - 1 > SimReg::Last)
            return std::nullopt;
        for (int i = 0; i < *n; ++i) {
            if (command == "DRS") {
                r.reads << *start + i;
            } else {
                const auto d = data(f[2 + i]);
                if (!d)
                    return std::nullopt;
                r.writes << std::pair{*start + i, *d};
            }
        }
        return r;
    }
    if (command == "DRR" || command == "DMS") {
        if (f.size() != 1 + *n)
            return std::nullopt;
        for (int i = 0; i < *n; ++i) {
            const auto g = reg(f[1 + i]);
            if (!g)
                return std::nullopt;
            r.reads << *g;
        }
        r.monitorSet = command == "DMS";
        return r;
    }
    if (command == "DWR") {
        if (f.size() != 1 + 2 * *n)
            return std::nullopt;
        for (int i = 0; i < *n; ++i) {
            const auto g = reg(f[1 + 2 * i]);
            const auto d = data(f[2 + 2 * i]);
            if (!g || !d)
                return std::nullopt;
            r.writes << std::pair{*g, *d};
        }
        return r;
    }
    return std::nullopt;
}

} // namespace

QByteArray hexWord(qint16 value)
{
    return QByteArray::number(static_cast<quint16>(value), 16).toUpper().rightJustified(4, '0');
}

QByteArray simReply(const QByteArray& address, const QByteArray& command, const QByteArray& status,
                    const QList<QByteArray>& fields)
{
    QByteArray content = address + command + ',' + status;
    for (const QByteArray& f : fields)
        content += ',' + f;
    return BuildFrame(content);
}

SimBus::SimBus(const QList<int>& addresses, qint64 nowMs, qint64 tuningMs)
{
    for (int a : addresses) {
        if (!m_controllers.count(a))
            m_controllers.emplace(a, std::make_unique<SimController>(a, nowMs, tuningMs));
    }
}

SimController* SimBus::controller(int address)
{
    const auto it = m_controllers.find(address);
    return it == m_controllers.end() ? nullptr : it->second.get();
}

QList<int> SimBus::addresses() const
{
    QList<int> list;
    for (const auto& [a, c] : m_controllers)
        list << a;
    return list;
}

int SimBus::addressOf(const QByteArray& frame)
{
    if (frame.size() < 3 || frame[0] != kStx || !isDigit(frame[1]) || !isDigit(frame[2]))
        return -1;
    return frame.mid(1, 2).toInt();
}

std::optional<QByteArray> SimBus::answer(const QByteArray& frame, qint64 nowMs)
{
    SimController* c = controller(addressOf(frame));
    if (!c)
        return std::nullopt;
    const QByteArray address = frame.mid(1, 2);
    QByteArray body = frame.mid(3);
    if (body.endsWith("\r\n"))
        body.chop(2);
    QList<QByteArray> fields = body.split(',');
    const QByteArray head = fields.takeFirst();
    const QByteArray command = head.left(3);
    const QByteArray ng = "NG";

    const std::optional<Request> r = head.size() == 3 ? parse(command, fields) : std::nullopt;
    if (!r)
        return simReply(address, command, ng);

    if (command == "WHO")
        return simReply(address, command, "OK", {"KELOSIM", "TC-100", "V1.0"});
    if (command == "DMC") {
        if (c->monitorSet.isEmpty())
            return simReply(address, command, ng);
        QList<QByteArray> words;
        for (int g : c->monitorSet)
            words << hexWord(c->read(g, nowMs));
        return simReply(address, command, "OK", words);
    }
    if (r->monitorSet) {
        c->monitorSet = r->reads;
        return simReply(address, command, "OK");
    }
    if (!r->writes.isEmpty()) {
        // A request is taken whole or not at all.
        for (const auto& [g, v] : r->writes) {
            if (!c->accepts(g, v))
                return simReply(address, command, ng);
        }
        for (const auto& [g, v] : r->writes)
            c->write(g, v, nowMs);
        return simReply(address, command, "OK");
    }
    QList<QByteArray> words;
    for (int g : r->reads)
        words << hexWord(c->read(g, nowMs));
    return simReply(address, command, "OK", words);
}
