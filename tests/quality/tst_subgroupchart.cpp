#include "quality/SubgroupChart.h"

#include <QtTest>
#include <cmath>

using namespace q7rk;

namespace {

double rounded(std::optional<double> v, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return std::round(v.value_or(NAN) * scale) / scale;
}

// Four foils of three pieces, one with two pieces and one with a single piece (indexes 1 and 4).
// With n = 3 the published table of control chart constants (e.g. Montgomery, Introduction to
// Statistical Quality Control, Appendix VI) gives A2 1.023, D3 0, D4 2.574, d2 1.693:
//   averages 11, 12, 10, 11 -> X̄̄ = 44 / 4 = 11;  ranges 2, 2, 2, 6 -> R̄ = 12 / 4 = 3
//   X̄ limits 11 ± 1.023 * 3 = 14.069 / 7.931;  R limits 0 * 3 = 0 and 2.574 * 3 = 7.722
//   sigma within 3 / 1.693 = 1.7720
// Against tolerance 5..17: Cpk = 6 / (3 * 1.7720) = 1.129; the twelve values of the complete
// foils have mean 11 and squares 30, s = sqrt(30 / 11) = 1.6514, Ppk = 6 / (3 * 1.6514) = 1.211.
const std::vector<std::vector<double>> kFoils{
    {10, 11, 12}, {10, 30}, {11, 13, 12}, {9, 10, 11}, {40}, {8, 11, 14}};
const SpecLimits kTolerance{5.0, 17.0};

} // namespace

class TestSubgroupChart : public QObject {
    Q_OBJECT

private slots:
    void averageAndRange() {
        const SubgroupChart chart(kFoils);
        QCOMPARE(chart.nominalSize(), 3);
        QCOMPARE(chart.incomplete(), (std::vector<int>{1, 4}));
        QVERIFY(chart.incompleteNote().contains(QString::fromUtf8("第2、5组")));
        QCOMPARE(chart.grandMean(), std::optional<double>(11));
        QCOMPARE(chart.averageRange(), std::optional<double>(3));
        QCOMPARE(rounded(chart.upperLimit(), 3), 14.069);
        QCOMPARE(rounded(chart.lowerLimit(), 3), 7.931);
        QCOMPARE(rounded(chart.rangeUpperLimit(), 3), 7.722);
        QCOMPARE(chart.rangeLowerLimit(), std::optional<double>(0));
        QCOMPARE(rounded(chart.sigmaWithin(), 4), 1.7720);
        QVERIFY(chart.breaks().empty() && chart.rangeBreaks().empty());

        const Capability cap = chart.capability(kTolerance);
        QCOMPARE(cap.count, 12);
        QCOMPARE(rounded(cap.cpk, 3), 1.129);
        QCOMPARE(rounded(cap.ppk, 3), 1.211);
        QVERIFY(cap.inControl && cap.message.isEmpty());

        // Too few complete foils: no limits, and the reason.
        const SubgroupChart one({{10, 11, 12}, {10, 30}});
        QVERIFY(!one.hasLimits() && !one.message().isEmpty());
        QVERIFY(!SubgroupChart({{1}, {2}}).hasLimits());
    }

    // The limits of the six foils above kept for two later ones: 15, 15, 15 averages 15, beyond
    // 14.069; 9, 11, 18 ranges 9, beyond 7.722. Charted together they would move the limits.
    void baselineJudgesLaterFoils() {
        auto foils = kFoils;
        foils.push_back({15, 15, 15});
        foils.push_back({9, 11, 18});
        const SubgroupChart chart(foils, IndexRange{0, 6});
        QCOMPARE(rounded(chart.upperLimit(), 3), 14.069);
        QCOMPARE(chart.breaks().size(), std::size_t(1));
        QCOMPARE(chart.breaks()[0].rule, ChartRule::BeyondLimit);
        QCOMPARE(chart.breaks()[0].points, std::vector<int>{6});
        QCOMPARE(chart.rangeBreaks(), std::vector<int>{7});
        QVERIFY(chart.isBreaking(7) && !chart.isBreaking(5));

        const Capability cap = chart.capability(kTolerance);
        QCOMPARE(rounded(cap.cpk, 3), 1.129);
        QVERIFY(cap.ppk && !cap.inControl);
        QCOMPARE(cap.message, QString::fromUtf8("过程不受控，Cpk 仅供参考"));
    }
};

QTEST_GUILESS_MAIN(TestSubgroupChart)
#include "tst_subgroupchart.moc"
