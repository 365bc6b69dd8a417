#include "ControlChart.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <set>

namespace q7rk {

namespace {

int sign(double v) {
    return (v > 0) - (v < 0);
}

// Every index of each run of at least `length` equal, non-zero keys.
void addRuns(const std::vector<int>& keys, std::size_t length, int offset, std::set<int>& out) {
    std::size_t start = 0;
    for (std::size_t i = 1; i <= keys.size(); ++i) {
        if (i < keys.size() && keys[i] == keys[start]) continue;
        if (keys[start] != 0 && i - start >= length) {
            for (std::size_t j = start; j < i; ++j)
                out.insert(int(j) + offset);
        }
        start = i;
    }
}

// Capability index of one side: the distance from the mean to the limit in units of 3 sigma.
std::optional<double> index(const SpecLimits& limits, double mean, double sigma) {
    if (!(sigma > 0)) return std::nullopt;
    std::optional<double> out;
    if (limits.upper) out = (*limits.upper - mean) / (3 * sigma);
    if (limits.lower) out = std::min(out.value_or(INFINITY), (mean - *limits.lower) / (3 * sigma));
    return out;
}

} // namespace

QString ruleKey(ChartRule rule) {
    switch (rule) {
    case ChartRule::BeyondLimit:
        return QStringLiteral("beyondLimit");
    case ChartRule::NineOnOneSide:
        return QStringLiteral("nineOnOneSide");
    case ChartRule::SixTrending:
        return QStringLiteral("sixTrending");
    case ChartRule::TwoOfThreeBeyondTwoSigma:
        break;
    }
    return QStringLiteral("twoOfThreeBeyondTwoSigma");
}

QString ruleName(ChartRule rule) {
    switch (rule) {
    case ChartRule::BeyondLimit:
        return QStringLiteral("超出控制限");
    case ChartRule::NineOnOneSide:
        return QStringLiteral("连续9点在中心线同一侧");
    case ChartRule::SixTrending:
        return QStringLiteral("连续6点递增或递减");
    case ChartRule::TwoOfThreeBeyondTwoSigma:
        break;
    }
    return QStringLiteral("连续3点中有2点在同侧2σ以外");
}

ControlChart::ControlChart(std::vector<double> values, std::optional<IndexRange> baseline)
    : m_values(std::move(values)) {
    for (std::size_t i = 1; i < m_values.size(); ++i)
        m_movingRanges.push_back(std::abs(m_values[i] - m_values[i - 1]));
    int first = 0, end = count();
    if (baseline) {
        first = std::clamp(baseline->first, 0, count());
        end = std::clamp(baseline->first + std::max(baseline->count, 0), first, count());
        m_baseline = IndexRange{first, end - first};
    }
    if (end == first) return;
    const auto from = m_values.begin();
    m_mean = std::accumulate(from + first, from + end, 0.0) / double(end - first);
    if (end - first < MinimumPoints) return;
    // The moving range j lies between points j and j + 1.
    m_averageMovingRange =
        std::accumulate(m_movingRanges.begin() + first, m_movingRanges.begin() + end - 1, 0.0) /
        double(end - first - 1);
    m_breaks = findRuleBreaks(m_values, *m_mean, *sigma());
}

QString ControlChart::message() const {
    if (hasLimits()) return {};
    if (m_baseline)
        return QStringLiteral("基准只有%1个数据点，至少需要%2个才能计算控制限。")
            .arg(m_baseline->count)
            .arg(MinimumPoints);
    return QStringLiteral("只有%1个数据点，至少需要%2个才能计算控制限。")
        .arg(count())
        .arg(MinimumPoints);
}

std::optional<double> ControlChart::sigma() const {
    if (!m_averageMovingRange) return std::nullopt;
    return *m_averageMovingRange / D2;
}

std::optional<double> ControlChart::upperLimit() const {
    if (!hasLimits()) return std::nullopt;
    return *m_mean + 3 * *sigma();
}

std::optional<double> ControlChart::lowerLimit() const {
    if (!hasLimits()) return std::nullopt;
    return *m_mean - 3 * *sigma();
}

std::optional<double> ControlChart::movingRangeLimit() const {
    if (!m_averageMovingRange) return std::nullopt;
    return D4 * *m_averageMovingRange;
}

std::vector<RuleBreak> findRuleBreaks(std::span<const double> values, double centre, double sigma) {
    const std::size_t n = values.size();
    if (n == 0) return {};
    const double upper = centre + 3 * sigma, lower = centre - 3 * sigma;
    std::vector<RuleBreak> out;
    const auto keep = [&out](ChartRule rule, const std::set<int>& points) {
        if (!points.empty()) out.push_back({rule, {points.begin(), points.end()}});
    };

    std::set<int> beyond;
    for (std::size_t i = 0; i < n; ++i) {
        if (values[i] > upper || values[i] < lower) beyond.insert(int(i));
    }
    keep(ChartRule::BeyondLimit, beyond);

    // A point on the centre line belongs to neither side and ends a run.
    std::vector<int> side(n);
    for (std::size_t i = 0; i < n; ++i)
        side[i] = sign(values[i] - centre);
    std::set<int> oneSide;
    addRuns(side, 9, 0, oneSide);
    keep(ChartRule::NineOnOneSide, oneSide);

    // Six points rising are five rises in a row; an unchanged value ends the run.
    std::vector<int> step(n - 1);
    for (std::size_t i = 1; i < n; ++i)
        step[i - 1] = sign(values[i] - values[i - 1]);
    std::set<int> rises;
    addRuns(step, 5, 0, rises);
    std::set<int> trending;
    for (int i : rises) { // a step i joins points i and i + 1
        trending.insert(i);
        trending.insert(i + 1);
    }
    keep(ChartRule::SixTrending, trending);

    std::set<int> zone;
    for (const int direction : {1, -1}) {
        const auto outside = [&](std::size_t i) {
            return direction * (values[i] - centre) > 2 * sigma;
        };
        for (std::size_t i = 0; i + 2 < n; ++i) {
            const int inWindow = outside(i) + outside(i + 1) + outside(i + 2);
            if (inWindow < 2) continue;
            for (std::size_t j = i; j < i + 3; ++j)
                if (outside(j)) zone.insert(int(j));
        }
    }
    keep(ChartRule::TwoOfThreeBeyondTwoSigma, zone);
    return out;
}

bool ControlChart::isBreaking(int index) const {
    return std::any_of(m_breaks.begin(), m_breaks.end(), [index](const RuleBreak& b) {
        return std::binary_search(b.points.begin(), b.points.end(), index);
    });
}

Capability capabilityOf(const SpecLimits& limits, std::span<const double> values,
                        std::optional<double> centre, std::optional<double> sigmaWithin,
                        bool inControl) {
    Capability out;
    out.count = int(values.size());
    out.limits = limits;
    if (!limits.any()) {
        out.message = QStringLiteral("该字段没有规格限，不计算Cpk和Ppk。");
        return out;
    }
    if (!centre || !sigmaWithin || values.size() < 2) return out;
    const double mean = std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
    double squares = 0;
    for (const double v : values)
        squares += (v - mean) * (v - mean);
    const double deviation = std::sqrt(squares / double(values.size() - 1));
    out.cpk = index(limits, *centre, *sigmaWithin);
    out.ppk = index(limits, mean, deviation);
    out.inControl = inControl;
    if (!out.cpk || !out.ppk)
        out.message = QStringLiteral("数据没有波动，无法计算Cpk和Ppk。");
    else if (!inControl)
        out.message = QStringLiteral("过程不受控，Cpk 仅供参考");
    return out;
}

Capability ControlChart::capability(const SpecLimits& limits) const {
    Capability out = capabilityOf(limits, m_values, m_mean, sigma(), m_breaks.empty());
    if (limits.any() && !hasLimits()) out.message = message();
    return out;
}

} // namespace q7rk
