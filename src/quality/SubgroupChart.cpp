#include "SubgroupChart.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>

namespace q7rk {

std::optional<SubgroupConstants> subgroupConstants(int size) {
    switch (size) {
    case 2:
        return SubgroupConstants{1.880, 0, 3.267, 1.128};
    case 3:
        return SubgroupConstants{1.023, 0, 2.574, 1.693};
    case 4:
        return SubgroupConstants{0.729, 0, 2.282, 2.059};
    case 5:
        return SubgroupConstants{0.577, 0, 2.114, 2.326};
    case 6:
        return SubgroupConstants{0.483, 0, 2.004, 2.534};
    default:
        return std::nullopt;
    }
}

SubgroupChart::SubgroupChart(std::vector<std::vector<double>> subgroups,
                             std::optional<IndexRange> baseline)
    : m_subgroups(std::move(subgroups)) {
    std::map<int, int> sizes;
    for (const auto& g : m_subgroups) {
        const int n = int(g.size());
        if (n >= MinimumSize && n <= MaximumSize) ++sizes[n];
        if (g.empty()) {
            m_averages.push_back(NAN);
            m_ranges.push_back(NAN);
            continue;
        }
        m_averages.push_back(std::accumulate(g.begin(), g.end(), 0.0) / double(n));
        const auto [low, high] = std::minmax_element(g.begin(), g.end());
        m_ranges.push_back(*high - *low);
    }
    int most = 0;
    for (const auto& [size, times] : sizes) { // ascending: a tie goes to the larger size
        if (times < most) continue;
        most = times;
        m_nominalSize = size;
    }
    m_constants = subgroupConstants(m_nominalSize);

    std::vector<int> complete;
    for (int i = 0; i < count(); ++i)
        (isComplete(i) ? complete : m_incomplete).push_back(i);

    int first = 0, end = count();
    if (baseline) {
        first = std::clamp(baseline->first, 0, count());
        end = std::clamp(baseline->first + std::max(baseline->count, 0), first, count());
        m_baseline = IndexRange{first, end - first};
    }
    double averages = 0, ranges = 0;
    for (const int i : complete) {
        if (i < first || i >= end) continue;
        averages += m_averages[std::size_t(i)];
        ranges += m_ranges[std::size_t(i)];
        ++m_baselineComplete;
    }
    if (!m_constants || m_baselineComplete < MinimumSubgroups) return;
    m_grandMean = averages / m_baselineComplete;
    m_averageRange = ranges / m_baselineComplete;

    std::vector<double> judged;
    for (const int i : complete)
        judged.push_back(m_averages[std::size_t(i)]);
    m_breaks = findRuleBreaks(judged, *m_grandMean, m_constants->a2 * *m_averageRange / 3);
    for (RuleBreak& b : m_breaks)
        for (int& point : b.points)
            point = complete[std::size_t(point)];
    for (const int i : complete) {
        const double r = m_ranges[std::size_t(i)];
        if (r > *rangeUpperLimit() || r < *rangeLowerLimit()) m_rangeBreaks.push_back(i);
    }
}

bool SubgroupChart::isComplete(int index) const {
    return m_nominalSize > 0 && index >= 0 && index < count() &&
           int(m_subgroups[std::size_t(index)].size()) == m_nominalSize;
}

QString SubgroupChart::incompleteNote() const {
    if (m_incomplete.empty() || m_nominalSize == 0) return {};
    QStringList numbers;
    for (const int i : m_incomplete)
        numbers << QString::number(i + 1);
    return QStringLiteral("有%1组不是%2个试样（第%3组），未计入控制限、判异和Cpk。")
        .arg(int(m_incomplete.size()))
        .arg(m_nominalSize)
        .arg(numbers.join(QStringLiteral("、")));
}

QString SubgroupChart::message() const {
    if (hasLimits()) return {};
    if (m_nominalSize == 0)
        return QStringLiteral("没有%1到%2个试样的子组，无法计算控制限。")
            .arg(MinimumSize)
            .arg(MaximumSize);
    return (m_baseline ? QStringLiteral("基准中只有%1个完整子组，至少需要%2个才能计算控制限。")
                       : QStringLiteral("只有%1个完整子组，至少需要%2个才能计算控制限。"))
        .arg(m_baselineComplete)
        .arg(MinimumSubgroups);
}

std::optional<double> SubgroupChart::sigmaWithin() const {
    if (!hasLimits()) return std::nullopt;
    return *m_averageRange / m_constants->d2;
}

std::optional<double> SubgroupChart::upperLimit() const {
    if (!hasLimits()) return std::nullopt;
    return *m_grandMean + m_constants->a2 * *m_averageRange;
}

std::optional<double> SubgroupChart::lowerLimit() const {
    if (!hasLimits()) return std::nullopt;
    return *m_grandMean - m_constants->a2 * *m_averageRange;
}

std::optional<double> SubgroupChart::rangeUpperLimit() const {
    if (!hasLimits()) return std::nullopt;
    return m_constants->d4 * *m_averageRange;
}

std::optional<double> SubgroupChart::rangeLowerLimit() const {
    if (!hasLimits()) return std::nullopt;
    return m_constants->d3 * *m_averageRange;
}

bool SubgroupChart::isBreaking(int index) const {
    return std::binary_search(m_rangeBreaks.begin(), m_rangeBreaks.end(), index) ||
           std::any_of(m_breaks.begin(), m_breaks.end(), [index](const RuleBreak& b) {
               return std::binary_search(b.points.begin(), b.points.end(), index);
           });
}

Capability SubgroupChart::capability(const SpecLimits& limits) const {
    std::vector<double> values;
    for (int i = 0; i < count(); ++i) {
        if (isComplete(i))
            values.insert(values.end(), m_subgroups[std::size_t(i)].begin(),
                          m_subgroups[std::size_t(i)].end());
    }
    Capability out = capabilityOf(limits, values, m_grandMean, sigmaWithin(),
                                  m_breaks.empty() && m_rangeBreaks.empty());
    if (limits.any() && !hasLimits()) out.message = message();
    return out;
}

} // namespace q7rk
