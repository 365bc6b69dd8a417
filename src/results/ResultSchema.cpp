#include "ResultSchema.h"

#include "results/SqlCondition.h"
#include "settings/NumberText.h"

#include <QDate>
#include <QRegularExpression>

namespace q7rk {

QStringList fieldNames(TestKind kind) {
    QStringList out;
    for (const FieldSpec& f : description(kind).fields)
        out << QString::fromUtf8(f.name);
    return out;
}

int fieldIndex(TestKind kind, const QString& name) {
    const TestKindDescription& d = description(kind);
    if (*d.searchAlias && name == QString::fromUtf8(d.searchAlias))
        return fieldIndex(kind, QString::fromUtf8(d.searchAliasField));
    const auto fields = d.fields;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (name == QString::fromUtf8(fields[i].name)) return int(i);
    }
    return -1;
}

FieldType fieldType(TestKind kind, int index) {
    return description(kind).fields[std::size_t(index)].type;
}

QString storedField(TestKind kind, Box box) {
    for (const FieldBox& fb : description(kind).fieldBoxes)
        if (fb.box == box && !fb.displayOnly) return QString::fromUtf8(fb.field);
    return {};
}

QStringList searchFields(TestKind kind) {
    return utf8List(description(kind).searchFields);
}

QStringList correctableFields(TestKind kind) {
    return utf8List(description(kind).correctableFields);
}

QString parameterTable(TestKind kind) {
    return quotedName(QString::fromUtf8(description(kind).tableName));
}

QString columnList(TestKind kind) {
    QStringList cols;
    for (const FieldSpec& f : description(kind).fields)
        cols << quotedName(QString::fromUtf8(f.name));
    return cols.join(QLatin1Char(','));
}

QString boilingOfRow(TestKind kind, const QString& row) {
    if (!description(kind).storesBoilingMarks) return QStringLiteral("0");
    const QString column = quotedName(QString::fromUtf8(BoilingColumn));
    return QStringLiteral("(%1 IS 'True')").arg(row.isEmpty() ? column : row + '.' + column);
}

QString rowKeyClause(TestKind kind, const TestKey& key, QVariantList& binds) {
    binds << key.number << int(key.afterBoiling);
    return QStringLiteral("%1 = ? AND %2 = ?")
        .arg(quotedName(QStringLiteral("测试编号")), boilingOfRow(kind));
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
