#include "ResultSchema.h"

#include "settings/NumberText.h"

#include <QDate>
#include <QRegularExpression>
#include <array>

namespace q7rk {

namespace {

using enum FieldType;

constexpr std::array<FieldSpec, 17> kTvFields{{
    {"测试编号", Text},
    {"化成电压", Number},
    {"测试电流", Number},
    {"延迟时间", Number},
    {"升压时间指标", Number},
    {"升压时间", Number},
    {"TV值", Number},
    {"TV特性", Text},
    {"水温度", Number},
    {"采样次数", Number},
    {"Vmax", Number},
    {"水煮前", Mark},
    {"水煮后", Mark},
    {"头位置", Mark},
    {"尾位置", Mark},
    {"测试人", Text},
    {"测试日期", Date},
}};

constexpr std::array<FieldSpec, 15> kLeakageFields{{
    {"测试编号", Text},
    {"漏电流电压", Number},
    {"测试电流", Number},
    {"漏电流指标", Number},
    {"测试时间", Number},
    {"漏电流", Number},
    {"水温度", Number},
    {"漏电流特性", Text},
    {"采样次数", Number},
    {"水煮前", Mark},
    {"水煮后", Mark},
    {"头位置", Mark},
    {"尾位置", Mark},
    {"测试人", Text},
    {"测试日期", Date},
}};

constexpr std::array<FieldSpec, 18> kElectrolyteFields{{
    {"测试编号", Text},
    {"测试电流", Number},
    {"设定电压", Number},
    {"参考电压", Number},
    {"闪火延时", Number},
    {"闪火修正", Number},
    {"最大电压", Number},
    {"最小电压", Number},
    {"火花电压1", Number},
    {"火花时间1", Number},
    {"火花电压2", Number},
    {"火花时间2", Number},
    {"火花电压3", Number},
    {"火花时间3", Number},
    {"判定结果", Text},
    {"采样次数", Number},
    {"测试人", Text},
    {"测试日期", Date},
}};

const KindSchema kTv{TestKind::Tv, "lb53A100.db", "铝箔TV参数", kTvFields};
const KindSchema kLeakage{TestKind::Leakage, "ldl53A100.db", "漏电流参数", kLeakageFields};
const KindSchema kElectrolyte{TestKind::Electrolyte, "djy53A100.db", "电解液参数",
                              kElectrolyteFields};

QStringList utf8List(std::initializer_list<const char*> names) {
    QStringList out;
    for (const char* n : names)
        out << QString::fromUtf8(n);
    return out;
}

} // namespace

const KindSchema& schemaOf(TestKind kind) {
    switch (kind) {
    case TestKind::Tv:
        return kTv;
    case TestKind::Leakage:
        return kLeakage;
    case TestKind::Electrolyte:
        break;
    }
    return kElectrolyte;
}

QStringList fieldNames(TestKind kind) {
    QStringList out;
    for (const FieldSpec& f : schemaOf(kind).fields)
        out << QString::fromUtf8(f.name);
    return out;
}

int fieldIndex(TestKind kind, const QString& name) {
    // The search list offers "火花电压", which the electrolyte table does not have: the first
    // spark voltage is what the operator means by it.
    if (kind == TestKind::Electrolyte && name == QStringLiteral("火花电压"))
        return fieldIndex(kind, QStringLiteral("火花电压1"));
    const auto fields = schemaOf(kind).fields;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (name == QString::fromUtf8(fields[i].name)) return int(i);
    }
    return -1;
}

FieldType fieldType(TestKind kind, int index) {
    return schemaOf(kind).fields[std::size_t(index)].type;
}

QStringList searchFields(TestKind kind) {
    switch (kind) {
    case TestKind::Tv:
        return utf8List({"化成电压", "测试电流", "升压时间", "测试编号", "测试人", "测试日期"});
    case TestKind::Leakage:
        return utf8List({"漏电流电压", "漏电流", "测试时间", "测试编号", "测试人", "测试日期"});
    case TestKind::Electrolyte:
        break;
    }
    return utf8List({"测试电流", "设定电压", "火花电压", "测试编号", "测试人", "测试日期"});
}

QStringList correctableFields(TestKind kind) {
    switch (kind) {
    case TestKind::Tv:
        return utf8List({"化成电压", "测试电流", "延迟时间", "升压时间指标", "升压时间", "TV值",
                         "水温度", "TV特性", "水煮前", "水煮后", "头位置", "尾位置", "测试人",
                         "测试日期"});
    case TestKind::Leakage:
        return utf8List({"漏电流电压", "测试电流", "漏电流指标", "测试时间", "漏电流", "水温度",
                         "漏电流特性", "水煮前", "水煮后", "头位置", "尾位置", "测试人",
                         "测试日期"});
    case TestKind::Electrolyte:
        break;
    }
    return utf8List({"测试电流", "设定电压", "参考电压", "闪火延时", "闪火修正", "最大电压",
                     "最小电压", "火花电压1", "火花时间1", "火花电压2", "火花时间2", "火花电压3",
                     "火花时间3", "判定结果", "测试人", "测试日期"});
}

QString kindKey(TestKind kind) {
    switch (kind) {
    case TestKind::Tv:
        return QStringLiteral("tv");
    case TestKind::Leakage:
        return QStringLiteral("leakage");
    case TestKind::Electrolyte:
        break;
    }
    return QStringLiteral("electrolyte");
}

std::optional<TestKind> kindFromKey(const QString& key) {
    for (TestKind k : {TestKind::Tv, TestKind::Leakage, TestKind::Electrolyte}) {
        if (key == kindKey(k)) return k;
    }
    return std::nullopt;
}

std::optional<QString> normaliseDate(const QString& text) {
    static const QRegularExpression re(
        QStringLiteral(R"(^\s*(\d{4})([/.-])(\d{1,2})\2(\d{1,2})\s*$)"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch()) return std::nullopt;
    const QDate d(m.captured(1).toInt(), m.captured(3).toInt(), m.captured(4).toInt());
    if (!d.isValid()) return std::nullopt;
    return d.toString(QStringLiteral("yyyy/MM/dd"));
}

std::optional<QVariant> storedValue(FieldType type, const QString& text) {
    if (type == FieldType::Text) return QVariant(text);
    const bool blank = text.trimmed().isEmpty();
    switch (type) {
    case FieldType::Number:
        if (blank) return QVariant(QMetaType::fromType<double>());
        if (const auto v = parseNumber(text)) return QVariant(*v);
        return std::nullopt;
    case FieldType::Date:
        if (blank) return QVariant(QMetaType::fromType<QString>());
        if (const auto d = normaliseDate(text)) return QVariant(*d);
        return std::nullopt;
    case FieldType::Mark:
        if (blank) return QVariant(QMetaType::fromType<QString>());
        if (const auto b = parseBool(text.trimmed())) return QVariant(formatBool(*b));
        return std::nullopt;
    case FieldType::Text:
        break;
    }
    return QVariant(text);
}

QString shownValue(FieldType type, const QVariant& value) {
    if (value.isNull()) return QString();
    if (type == FieldType::Number) {
        bool ok = false;
        const double v = value.toDouble(&ok);
        return ok ? formatNumber(v) : value.toString();
    }
    return value.toString();
}

} // namespace q7rk
