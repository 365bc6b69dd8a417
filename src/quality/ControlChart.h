#pragma once

#include <QString>
#include <optional>
#include <span>
#include <vector>

namespace q7rk {

// The patterns an individuals chart looks for; each says that the line has moved, not that a
// single test failed.
enum class ChartRule {
    BeyondLimit,              // a point outside the control limits
    NineOnOneSide,            // 9 points in a row on one side of the centre line
    SixTrending,              // 6 points in a row each higher (or each lower) than the one before
    TwoOfThreeBeyondTwoSigma, // 2 of 3 points in a row beyond 2 sigma on the same side
};
inline constexpr ChartRule AllChartRules[] = {ChartRule::BeyondLimit, ChartRule::NineOnOneSide,
                                              ChartRule::SixTrending,
                                              ChartRule::TwoOfThreeBeyondTwoSigma};

// "beyondLimit", … for JSON; the Chinese name for the engineer.
QString ruleKey(ChartRule rule);
QString ruleName(ChartRule rule);

// A rule and every point (index in test order) that takes part in breaking it: the point
// outside, the whole run, the points beyond 2 sigma.
struct RuleBreak {
    ChartRule rule;
    std::vector<int> points;
};

// The rules over a series whose control limits are centre ± 3 sigma, in the order of
// AllChartRules; the points are indexes into `values`.
std::vector<RuleBreak> findRuleBreaks(std::span<const double> values, double centre, double sigma);

// A run of consecutive indexes (points, or subgroups) the limits are computed from; every
// point, later ones too, is then judged against these fixed limits.
struct IndexRange {
    int first = 0;
    int count = 0;
};

// Tolerance limits of a field; either may be missing.
struct SpecLimits {
    std::optional<double> lower;
    std::optional<double> upper;
    bool any() const { return lower || upper; }
};

// How well the tests fit their tolerance: Cpk from the short-term sigma (MR̄ / d2, or R̄ / d2
// of subgroups), Ppk from the sample standard deviation. Missing, with the reason, when they
// cannot be told. A process that breaks a rule has no stable sigma: Cpk is still given, but
// inControl is false and the message says it is only a guide.
struct Capability {
    int count = 0;
    SpecLimits limits;
    std::optional<double> cpk;
    std::optional<double> ppk;
    bool inControl = true;
    QString message;
};

// Cpk against the centre and short-term sigma of the chart's limits, Ppk against the mean and
// sample standard deviation of `values`. Without a centre or sigma only the count and the
// limits are filled in (and the message when there are no tolerance limits).
Capability capabilityOf(const SpecLimits& limits, std::span<const double> values,
                        std::optional<double> centre, std::optional<double> sigmaWithin,
                        bool inControl);

// An individuals and moving-range chart of values in test order. The limits are 3 sigma with
// sigma = MR̄ / 1.128 (the mean ± 2.66 MR̄ of the tables, kept exactly at 3 sigma so that the
// 2-sigma rule and Cpk use the same sigma); the moving-range chart's upper limit is 3.267 MR̄.
// Fewer than two points have no moving range and so no limits.
//
// Given a baseline, the mean and MR̄ come from the points of the baseline only (the moving
// ranges inside it) and every point is judged against them: the limits of a stable period,
// kept while later tests come in. The baseline is cut to the points there are.
class ControlChart {
public:
    static constexpr double D2 = 1.128; // mean range of two normal values, in sigmas
    static constexpr double D4 = 3.267; // upper limit of the moving range, in MR̄
    static constexpr int MinimumPoints = 2;

    explicit ControlChart(std::vector<double> values,
                          std::optional<IndexRange> baseline = std::nullopt);

    const std::vector<double>& values() const { return m_values; }
    int count() const { return int(m_values.size()); }
    bool hasLimits() const { return m_averageMovingRange.has_value(); }
    // Empty when the limits could be drawn; otherwise why not.
    QString message() const;

    std::optional<IndexRange> baseline() const { return m_baseline; }
    // The centre line: the mean of the baseline when there is one, else of every point.
    std::optional<double> mean() const { return m_mean; }
    // |x_i − x_(i−1)| for i ≥ 1: one fewer than the values.
    const std::vector<double>& movingRanges() const { return m_movingRanges; }
    // Of the moving ranges inside the baseline when there is one.
    std::optional<double> averageMovingRange() const { return m_averageMovingRange; }
    std::optional<double> sigma() const;
    std::optional<double> upperLimit() const;
    std::optional<double> lowerLimit() const;
    std::optional<double> movingRangeLimit() const;

    // Every rule broken, in the order of AllChartRules; none without limits.
    const std::vector<RuleBreak>& breaks() const { return m_breaks; }
    // True when the point takes part in any broken rule.
    bool isBreaking(int index) const;

    Capability capability(const SpecLimits& limits) const;

private:
    std::vector<double> m_values;
    std::optional<IndexRange> m_baseline;
    std::vector<double> m_movingRanges;
    std::optional<double> m_mean;
    std::optional<double> m_averageMovingRange;
    std::vector<RuleBreak> m_breaks;
};

} // namespace q7rk
