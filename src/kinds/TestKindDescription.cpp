#include "kinds/TestKindDescription.h"

#include "kinds/KindTables.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace q7rk {

const TestKindDescription& description(TestKind kind) {
    switch (kind) {
    case TestKind::Tv:
        return kinds::tv();
    case TestKind::Leakage:
        return kinds::leakage();
    case TestKind::Electrolyte:
        return kinds::electrolyte();
    }
    // A value outside the enumeration is a broken caller, not a kind to guess at.
    Q_UNREACHABLE();
}

std::span<const TestKind> allKinds() {
    static constexpr TestKind all[] = {TestKind::Tv, TestKind::Leakage, TestKind::Electrolyte};
    return all;
}

TestKind kindAt(int index) {
    const auto kinds = allKinds();
    return kinds[std::size_t(std::clamp(index, 0, int(kinds.size()) - 1))];
}

QString startPhrase(TestKind kind) {
    return QStringLiteral("路开始") + QString::fromUtf8(description(kind).name) +
           QStringLiteral("测试");
}

QString endPhrase(TestKind kind) {
    return QStringLiteral("路") + QString::fromUtf8(description(kind).name) +
           QStringLiteral("测试结束");
}

QString shownKey(const TestKey& key) {
    return key.afterBoiling ? key.number + QStringLiteral("（水煮后）") : key.number;
}

QString duplicateNumberText(TestKind kind, const TestKey& key) {
    return QStringLiteral("同名记录") + QString::fromUtf8(description(kind).name) +
           QStringLiteral("测试编号：") + shownKey(key) +
           QStringLiteral(" 已经存在，请使用其他的编号！");
}

QString kindKey(TestKind kind) {
    return QString::fromLatin1(description(kind).key);
}

std::optional<TestKind> kindFromKey(const QString& key) {
    for (TestKind k : allKinds())
        if (key == kindKey(k)) return k;
    return std::nullopt;
}

QStringList utf8List(std::span<const char* const> names) {
    QStringList out;
    for (const char* n : names)
        out << QString::fromUtf8(n);
    return out;
}

int wholeSeconds(double value) {
    const double v = std::nearbyint(value);
    if (!(std::fabs(v) <= double(std::numeric_limits<int>::max()))) return 0;
    return int(v);
}

std::optional<SplitTestNumber> splitTestNumber(const QString& whole) {
    const QString position = whole.right(2);
    if (whole.size() <= 2 || !samplePositions().contains(position)) return std::nullopt;
    return SplitTestNumber{whole.chopped(2), position};
}

SparkVoltageRule sparkVoltageRule(const QString& setting) {
    return setting.trimmed().compare(QStringLiteral("before"), Qt::CaseInsensitive) == 0
               ? SparkVoltageRule::BeforeFall
               : SparkVoltageRule::AfterFall;
}

bool neverSparked(const std::function<double(Box)>& number) {
    // A spark is looked for from the third sample on, so a real one has a time of 3 or more.
    return !(number(Box::SparkTime1) > 0);
}

namespace {

// The value an electrolyte test's first spark is judged by: the sample after the fall, or the
// one before it; its set voltage when it never sparked.
Box judgedBox(Box measured, const std::function<double(Box)>& number, SparkVoltageRule rule) {
    if (measured != Box::SparkVoltage1) return measured;
    if (neverSparked(number)) return Box::ElectrolyteSetVoltage;
    return rule == SparkVoltageRule::BeforeFall ? Box::VoltageBeforeSpark1 : measured;
}

} // namespace

bool verdictFails(TestKind kind, const std::function<double(Box)>& number, SparkVoltageRule rule) {
    return std::ranges::any_of(description(kind).limitPairs, [&](const LimitPair& pair) {
        const double value = number(judgedBox(pair.measured, number, rule));
        const double limit = number(pair.limit);
        return pair.side == LimitSide::Lower   ? value < limit
               : pair.side == LimitSide::Upper ? value > limit
                                               : false;
    });
}

QString verdictText(bool failed) {
    return failed ? QStringLiteral("不合格") : QStringLiteral("合格");
}

QString interruptedText() {
    return QStringLiteral("中断");
}

} // namespace q7rk
