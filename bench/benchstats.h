#pragma once

#include <QList>

// How closely a series of bus requests keeps its period: each interval is
// compared with the nominal one; the drift compares the whole run with the
// sum of its nominal intervals, so small late ticks that add up show there.
struct Interval
{
    double actualMs = 0;
    double nominalMs = 0;
    int run = 0; // the run the interval belongs to
};

struct SeriesStats
{
    int samples = 0;
    double medianDevMs = 0; // median of |actual - nominal|
    double p99DevMs = 0;    // 99th percentile of |actual - nominal| (nearest rank)
    double meanDevMs = 0;   // mean of actual - nominal, signed: late is positive
    double maxDriftPct = 0; // the largest |sum actual / sum nominal - 1| of one run
};

SeriesStats Summarise(const QList<Interval> &intervals);
