#include "benchstats.h"

#include <QMap>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
// The median of values sorted ascending; there is at least one.
double MedianOfSorted(const QList<double> &sorted)
{
    const auto n = sorted.size();
    return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}
} // namespace

SeriesStats Summarise(const QList<Interval> &intervals)
{
    SeriesStats stats;
    stats.samples = int(intervals.size());
    if (intervals.isEmpty())
        return stats;

    QList<double> deviations;
    QMap<int, std::pair<double, double>> runs; // run -> (sum actual, sum nominal)
    double sum = 0;
    for (const Interval &i : intervals) {
        deviations.append(std::abs(i.actualMs - i.nominalMs));
        sum += i.actualMs - i.nominalMs;
        runs[i.run].first += i.actualMs;
        runs[i.run].second += i.nominalMs;
    }
    std::sort(deviations.begin(), deviations.end());
    const auto n = deviations.size();
    stats.medianDevMs = MedianOfSorted(deviations);
    const auto rank = qsizetype(std::ceil(0.99 * double(n)));
    stats.p99DevMs = deviations[std::clamp<qsizetype>(rank - 1, 0, n - 1)];
    stats.meanDevMs = sum / double(n);
    for (const auto &[actual, nominal] : runs)
        stats.maxDriftPct = std::max(stats.maxDriftPct, std::abs(actual / nominal - 1) * 100);
    return stats;
}

Excess ExcessOver(const SeriesStats &tool, const SeriesStats &floor)
{
    return {tool.medianDevMs - floor.medianDevMs, tool.p99DevMs - floor.p99DevMs,
            floor.medianDevMs > 0 ? tool.medianDevMs / floor.medianDevMs
                                  : std::numeric_limits<double>::infinity()};
}

Spread SpreadOf(QList<double> values)
{
    Spread spread;
    spread.runs = int(values.size());
    if (values.isEmpty())
        return spread;
    std::sort(values.begin(), values.end());
    spread.median = MedianOfSorted(values);
    spread.low = values.first();
    spread.high = values.last();
    return spread;
}
