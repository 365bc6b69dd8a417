#include "ResultSchema.h"

#include "results/SqlCondition.h"
#include "results/SqliteStatement.h"
#include "settings/NumberText.h"

#include <QDate>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>

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

QStringList searchFields(TestKind kind) {
    return utf8List(description(kind).searchFields);
}

QStringList correctableFields(TestKind kind) {
    return utf8List(description(kind).correctableFields);
}

bool hasColumn(const QSqlDatabase& db, const QString& table, const QString& column) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT 1 FROM pragma_table_info(?) WHERE name = ?"));
    q.addBindValue(table);
    q.addBindValue(column);
    return q.exec() && q.next();
}

QString keyClause(const QSqlDatabase& db, TestKind kind, const QString& table, const TestKey& key,
                  QVariantList& binds) {
    binds << key.number << int(key.afterBoiling);
    if (!hasColumn(db, table, QString::fromUtf8(BoilingColumn))) {
        if (!description(kind).storesBoilingMarks)
            return QStringLiteral("\"测试编号\" = ? AND 0 = ?");
        return QStringLiteral(
                   "\"测试编号\" = ? AND coalesce((SELECT (p.\"%1\" IS 'True') FROM \"%2\" p "
                   "WHERE p.\"测试编号\" = \"%3\".\"测试编号\" ORDER BY p.rowid LIMIT 1), 0) = ?")
            .arg(QString::fromUtf8(BoilingColumn), QString::fromUtf8(description(kind).tableName),
                 table);
    }
    // A history line written before the column came has none: it belongs to the one test the
    // number then had, and shows with either.
    return QStringLiteral("\"测试编号\" = ? AND (\"%1\" IS NULL OR \"%1\" = ?)")
        .arg(QString::fromUtf8(BoilingColumn));
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

void indexTestDates(sqlite3* db, TestKind kind) {
    const QString table = QString::fromUtf8(description(kind).tableName);
    const QString name = table + QStringLiteral("_") + QString::fromUtf8(TestDateField);
    SqliteStatement known(db, QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'index' "
                                             "AND name = ?"));
    known.bind(1, name);
    if (known.next()) return;
    SqliteStatement create(db, QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                                   .arg(quotedName(name), quotedName(table),
                                        quotedName(QString::fromUtf8(TestDateField))));
    create.next();
}

} // namespace q7rk
