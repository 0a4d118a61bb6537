#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <vector>

// The bus diagnosis per station address since the start of a run: how many
// requests went out, how they ended (OK reply, refusal, miss), and how long
// the replies took. Memory per address is fixed, whatever the run's length.
// Not thread-safe: fed and read on the thread that runs the poll.
class BusHealth {
public:
    struct Figures {
        qint64 requests = 0;
        qint64 okReplies = 0;
        qint64 refusals = 0;
        qint64 misses = 0;
        qint64 skippedTicks = 0;   // poll ticks held back while this address's reply was awaited
        qint64 droppedReplies = 0; // replies from this address that answered no request
        std::optional<qint64> lastMs;   // response times; none before the first timed reply
        std::optional<qint64> medianMs;
        std::optional<qint64> maxMs;
    };

    // A request to addr went out.
    void request(const QString& addr);
    // The request to addr was answered after responseMs (the engine's
    // exchange time): ok false is a refusal.
    void reply(const QString& addr, bool ok, qint64 responseMs);
    // The request to addr ended unanswered (every such request, whether or
    // not the miss rule has zeroed the channel yet).
    void miss(const QString& addr);
    // A poll tick held back while addr's reply was awaited.
    void skipped(const QString& addr);
    // A reply from addr that answered no request out.
    void dropped(const QString& addr);

    [[nodiscard]] QStringList addresses() const; // in order of first request
    [[nodiscard]] Figures figures(const QString& addr) const;
    // {"time", "requests", "ok", "refusals", "misses", "skipped", "dropped", "last_ms", "median_ms",
    // "max_ms"};
    // the three times are null before the first timed reply.
    [[nodiscard]] QByteArray payload(const QString& addr, const QDateTime& time) const;

    // Response times up to this are kept to the millisecond, up to
    // kSlowLimitMs to kSlowStepMs; longer ones share one bin (the median then
    // reads as the maximum).
    static constexpr qint64 kFineLimitMs = 1000;
    static constexpr qint64 kSlowLimitMs = 10000;
    static constexpr qint64 kSlowStepMs = 10;

private:
    struct Station {
        Figures figures;
        std::vector<quint32> bins; // histogram of response times, made on the first timed reply
        qint64 timed = 0;
    };
    static std::size_t binOf(qint64 ms);
    static qint64 binValue(std::size_t bin, qint64 maxMs);
    Station& station(const QString& addr);
    void addTime(Station& s, qint64 ms);

    std::map<QString, Station> m_stations;
    QStringList m_order;
};
