#include "SqlCondition.h"

#include "kinds/TestKindDescription.h"
#include "results/ResultSchema.h"

namespace q7rk {

QString quotedName(const QString& name) {
    return QLatin1Char('"') + name + QLatin1Char('"');
}

std::optional<SqlCondition> sqlCondition(const QueryCondition& cond) {
    if (cond.field.isEmpty()) return SqlCondition{QStringLiteral("1"), {}};
    const int index = fieldIndex(cond.kind, cond.field);
    if (index < 0) return std::nullopt;
    const FieldType type = fieldType(cond.kind, index);
    const QString field =
        quotedName(QString::fromUtf8(description(cond.kind).fields[std::size_t(index)].name));
    // Text fields are searched for equality whatever the comparison says; the others take
    // the comparison, with both bounds for "介于".
    if (type == FieldType::Text || type == FieldType::Mark)
        return SqlCondition{field + QStringLiteral(" = ?"), {cond.value1}};
    const auto bound = [type](const QString& text) -> std::optional<QVariant> {
        if (text.trimmed().isEmpty()) return std::nullopt;
        const auto v = storedValue(type, text);
        if (!v || v->isNull()) return std::nullopt;
        return v;
    };
    const auto v1 = bound(cond.value1);
    if (!v1) return std::nullopt;
    if (cond.comparison == QStringLiteral("介于")) {
        const auto v2 = bound(cond.value2);
        if (!v2) return std::nullopt;
        return SqlCondition{field + QStringLiteral(" BETWEEN ? AND ?"), {*v1, *v2}};
    }
    if (cond.comparison == QLatin1String(">") || cond.comparison == QLatin1String("<") ||
        cond.comparison == QLatin1String("="))
        return SqlCondition{field + QLatin1Char(' ') + cond.comparison + QStringLiteral(" ?"),
                            {*v1}};
    return std::nullopt;
}

} // namespace q7rk
