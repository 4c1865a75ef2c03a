// The figures the bench reports: the median and 99th percentile of how far
// each interval lies from its nominal period, the drift of a whole run, what
// a tool adds to the floor, and a figure's spread over repeated runs.
#include "benchstats.h"

#include <QTest>

class TestBenchStats : public QObject
{
    Q_OBJECT
private slots:
    void summary_data();
    void summary();
    void excessAndSpread();
};

void TestBenchStats::summary_data()
{
    QTest::addColumn<QList<Interval>>("intervals");
    QTest::addColumn<double>("median");
    QTest::addColumn<double>("p99");
    QTest::addColumn<double>("drift"); // percent

    // Early and late count alike for the deviations; the drift keeps the sign
    // apart within a run, so an early tick makes up for a late one.
    QTest::newRow("early and late cancel in the drift")
        << QList<Interval>{{99, 100, 1}, {101, 100, 1}, {102, 100, 1}, {98, 100, 1}} << 1.5 << 2.0
        << 0.0;
    // Of a hundred intervals the 99th percentile is the 99th smallest: one
    // outlier lies above it, and the drift still counts it.
    QList<Interval> hundred;
    for (int i = 0; i < 99; ++i)
        hundred.append({400.5, 400, 1});
    hundred.append({410, 400, 1});
    QTest::newRow("one outlier in a hundred") << hundred << 0.5 << 0.5 << 0.14875;
    // The drift is that of the worst run, early or late, not of all runs
    // together.
    const QList<Interval> runs{{250, 250, 1}, {250, 250, 1}, {249, 250, 2}, {250, 250, 2}};
    QTest::newRow("the worst run's drift") << runs << 0.0 << 1.0 << 0.2;
}

void TestBenchStats::summary()
{
    QFETCH(QList<Interval>, intervals);
    QFETCH(double, median);
    QFETCH(double, p99);
    QFETCH(double, drift);
    const SeriesStats stats = Summarise(intervals);
    QCOMPARE(stats.medianDevMs, median);
    QCOMPARE(stats.p99DevMs, p99);
    QVERIFY2(qAbs(stats.maxDriftPct - drift) < 0.0001,
             qPrintable(QString::number(stats.maxDriftPct)));
}

// A timer that keeps its own period is early as often as late: the excess is
// taken on the deviations, not on the intervals, whose medians differ the
// other way round here.
void TestBenchStats::excessAndSpread()
{
    const QList<Interval> tool{{99, 100, 1}, {101, 100, 1}, {99, 100, 1}, {101, 100, 1}};
    const QList<Interval> floor{{100.5, 100, 1}, {100.5, 100, 1}};
    const Excess excess = ExcessOver(Summarise(tool), Summarise(floor));
    QCOMPARE(excess.medianMs, 0.5);
    QCOMPARE(excess.p99Ms, 0.5);
    QCOMPARE(excess.ratio, 2.0);

    // A figure's spread over runs, which come in the order they were made;
    // an even count has two middles.
    const Spread spread = SpreadOf({0.9, 0.2, 0.5, 0.3});
    QCOMPARE(spread.median, 0.4);
    QCOMPARE(spread.low, 0.2);
    QCOMPARE(spread.high, 0.9);
    QCOMPARE(spread.runs, 4);
}

QTEST_GUILESS_MAIN(TestBenchStats)
#include "tst_benchstats.moc"
