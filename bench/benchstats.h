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

// A tool's series set against the floor: the same wait, measured in the same
// run, by a program that does nothing but wait. What the tool adds to the
// machine's own lateness is the difference of their deviations.
struct Excess
{
    double medianMs = 0; // the tool's median deviation less the floor's
    double p99Ms = 0;    // the tool's 99th percentile less the floor's
    double ratio = 0;    // the tool's median deviation over the floor's; infinite on a floor of 0
};

Excess ExcessOver(const SeriesStats &tool, const SeriesStats &floor);

// One figure over repeated runs of the whole bench: the median of the runs
// (the mean of the middle two for an even count) and the range they span.
struct Spread
{
    double median = 0;
    double low = 0;
    double high = 0;
    int runs = 0;
};

Spread SpreadOf(QList<double> values);
