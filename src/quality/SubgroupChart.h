#pragma once

#include "quality/ControlChart.h"

#include <QString>
#include <optional>
#include <vector>

namespace q7rk {

// Control chart constants for subgroups of n values, from the published table: A2 puts the
// limits of the averages at A2 R̄ from the centre, D3 R̄ and D4 R̄ are the limits of the
// ranges, and d2 is the mean range of n normal values in sigmas.
struct SubgroupConstants {
    double a2;
    double d3;
    double d4;
    double d2;
};
// None outside SubgroupChart::MinimumSize..MaximumSize.
std::optional<SubgroupConstants> subgroupConstants(int size);

// An average and range chart of subgroups in test order: in this plant a subgroup is the pieces
// of one foil, before or after boiling. The chart is drawn for the most common subgroup size
// (the larger one on a tie); a subgroup of another size (a foil with a piece missing) is
// incomplete: it is listed, and left out of the limits, the rules and the capability.
//
// X̄̄ and R̄ over the complete subgroups (of the baseline when there is one, as for
// ControlChart), limits X̄̄ ± A2 R̄ and D3 R̄ .. D4 R̄, sigma within = R̄ / d2. The averages
// break the rules of the individuals chart with sigma = A2 R̄ / 3, so that the 3-sigma limits
// are the table's; a range beyond its limits is a break of its own.
class SubgroupChart {
public:
    static constexpr int MinimumSize = 2;
    static constexpr int MaximumSize = 6;
    static constexpr int MinimumSubgroups = 2;

    explicit SubgroupChart(std::vector<std::vector<double>> subgroups,
                           std::optional<IndexRange> baseline = std::nullopt);

    const std::vector<std::vector<double>>& subgroups() const { return m_subgroups; }
    int count() const { return int(m_subgroups.size()); }
    // 0 when no subgroup has a size the table covers.
    int nominalSize() const { return m_nominalSize; }
    bool isComplete(int index) const;
    // The subgroups of another size than the nominal one, in order.
    const std::vector<int>& incomplete() const { return m_incomplete; }
    // For the engineer, empty when every subgroup is complete.
    QString incompleteNote() const;

    std::optional<IndexRange> baseline() const { return m_baseline; }
    bool hasLimits() const { return m_averageRange.has_value(); }
    // Empty when the limits could be drawn; otherwise why not.
    QString message() const;

    // Per subgroup, incomplete ones too (NaN for an empty one).
    const std::vector<double>& averages() const { return m_averages; }
    const std::vector<double>& ranges() const { return m_ranges; }
    std::optional<double> grandMean() const { return m_grandMean; }
    std::optional<double> averageRange() const { return m_averageRange; }
    std::optional<double> sigmaWithin() const;
    std::optional<double> upperLimit() const;
    std::optional<double> lowerLimit() const;
    std::optional<double> rangeUpperLimit() const;
    std::optional<double> rangeLowerLimit() const;

    // The rules broken by the averages; the points are subgroup indexes.
    const std::vector<RuleBreak>& breaks() const { return m_breaks; }
    // The subgroups whose range is outside the range limits.
    const std::vector<int>& rangeBreaks() const { return m_rangeBreaks; }
    bool isBreaking(int index) const;

    // Cpk from sigma within, Ppk from the standard deviation of every value of the complete
    // subgroups.
    Capability capability(const SpecLimits& limits) const;

private:
    std::vector<std::vector<double>> m_subgroups;
    std::optional<IndexRange> m_baseline;
    int m_nominalSize = 0;
    std::optional<SubgroupConstants> m_constants;
    std::vector<int> m_incomplete;
    int m_baselineComplete = 0;
    std::vector<double> m_averages;
    std::vector<double> m_ranges;
    std::optional<double> m_grandMean;
    std::optional<double> m_averageRange;
    std::vector<RuleBreak> m_breaks;
    std::vector<int> m_rangeBreaks;
};

} // namespace q7rk
