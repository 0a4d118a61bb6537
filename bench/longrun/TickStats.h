#pragma once
// A fixed-size histogram of durations (10 microsecond bins up to 1 second,
// exact minimum and maximum), so recording a tick allocates nothing and the
// program's own memory stays flat however long it runs.
#include <QString>
#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

class TickStats {
public:
    static constexpr std::int64_t kBinNs = 10'000;
    static constexpr int kBins = 100'000;

    void add(std::int64_t ns)
    {
        ++m_count;
        m_min = std::min(m_min, ns);
        m_max = std::max(m_max, ns);
        m_sum += double(ns);
        const std::int64_t bin = ns / kBinNs;
        if (bin >= kBins)
            ++m_over;
        else
            ++m_bins[std::size_t(std::max<std::int64_t>(bin, 0))];
    }
    [[nodiscard]] std::int64_t count() const { return m_count; }
    [[nodiscard]] double minMs() const { return m_count ? double(m_min) / 1e6 : 0; }
    [[nodiscard]] double maxMs() const { return m_count ? double(m_max) / 1e6 : 0; }
    [[nodiscard]] double meanMs() const { return m_count ? m_sum / double(m_count) / 1e6 : 0; }
    // Upper edge of the bin holding the q-quantile (nearest rank), in ms;
    // the maximum when that rank lies beyond the last bin.
    [[nodiscard]] double quantileMs(double q) const
    {
        if (m_count == 0)
            return 0;
        const auto rank = std::max<std::int64_t>(1, std::int64_t(q * double(m_count) + 0.999999));
        std::int64_t seen = 0;
        for (int i = 0; i < kBins; ++i) {
            seen += m_bins[std::size_t(i)];
            if (seen >= rank)
                return std::min(double((i + 1) * kBinNs), double(m_max)) / 1e6;
        }
        return maxMs();
    }
    [[nodiscard]] QString summary() const
    {
        return QString::asprintf("count %lld  min %.3f  p50 %.2f  p90 %.2f  p99 %.2f  p99.9 %.2f  max %.3f  mean %.3f (ms)",
                                 static_cast<long long>(m_count), minMs(), quantileMs(0.5), quantileMs(0.9),
                                 quantileMs(0.99), quantileMs(0.999), maxMs(), meanMs());
    }

private:
    std::array<std::uint32_t, kBins> m_bins{};
    std::int64_t m_count = 0;
    std::int64_t m_over = 0;
    std::int64_t m_min = std::numeric_limits<std::int64_t>::max();
    std::int64_t m_max = 0;
    double m_sum = 0;
};
