#include "benchstats.h"

#include <QMap>

#include <algorithm>
#include <cmath>

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
    stats.medianDevMs = n % 2 ? deviations[n / 2] : (deviations[n / 2 - 1] + deviations[n / 2]) / 2;
    const auto rank = qsizetype(std::ceil(0.99 * double(n)));
    stats.p99DevMs = deviations[std::clamp<qsizetype>(rank - 1, 0, n - 1)];
    stats.meanDevMs = sum / double(n);
    for (const auto &[actual, nominal] : runs)
        stats.maxDriftPct = std::max(stats.maxDriftPct, std::abs(actual / nominal - 1) * 100);
    return stats;
}
