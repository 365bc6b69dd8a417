#include "PlantSchema.h"

#include "plant/PlantConnection.h"

#include <QHash>
#include <QJsonArray>
#include <QSet>
#include <algorithm>
#include <optional>
#include <vector>

namespace q7rk::plantSchema {

namespace {

struct TableColumns {
    const char* table;
    QStringList columns; // the sample columns of Curve are counted apart
};

const TableColumns Needed[] = {
    {"Whole_Parameter",
     {"SerNum", "Speci", "VF", "Length", "Area", "Weight", "IQNum", "PLNum", "NodeNum", "ProDate",
      "Pace", "Conner"}},
    {"Part_Parameter", {"SerNum", "NumCurve", "SpecVot", "Bend", "Pull", "Tr", "Vm", "Vt"}},
    {"Curve", {"SerNum", "NumCurve"}},
    {"Criterion", {"Speci"}},
};

// One row per key: two stations sending the same piece at once cannot both insert.
struct KeyIndex {
    const char* table;
    const char* name;
    QStringList columns;

    QString create(bool ifNotExists) const {
        return QStringLiteral("create unique index %1%2 on %3 (%4)")
            .arg(ifNotExists ? QStringLiteral("if not exists ") : QString(), QLatin1String(name),
                 QLatin1String(table), columns.join(QStringLiteral(", ")));
    }
};

const KeyIndex Keys[] = {
    {"Whole_Parameter", "Whole_Parameter_Key", {"SerNum"}},
    {"Part_Parameter", "Part_Parameter_Key", {"SerNum", "NumCurve"}},
    {"Curve", "Curve_Key", {"SerNum", "NumCurve"}},
};

QSet<QString> lowerSet(const QStringList& names) {
    QSet<QString> set;
    for (const QString& n : names)
        set.insert(n.toLower());
    return set;
}

// The column sets of the table's unique indexes over plain columns (no partial or expression
// ones), read from PostgreSQL's catalogue or SQLite's; nothing where neither answers.
std::optional<std::vector<QSet<QString>>> uniqueIndexes(PlantConnection& c, const QString& table) {
    const QString queries[] = {
        QStringLiteral(
            "select c.relname, a.attname from pg_index i "
            "join pg_class c on c.oid = i.indexrelid "
            "join pg_class t on t.oid = i.indrelid "
            "left join pg_attribute a on a.attrelid = t.oid and a.attnum = any(i.indkey) "
            "where i.indisunique and i.indpred is null and pg_table_is_visible(t.oid) "
            "and lower(t.relname) = lower(?)"),
        QStringLiteral("select l.name, i.name from pragma_index_list(?) l, "
                       "pragma_index_info(l.name) i where l.\"unique\" = 1 and l.partial = 0"),
    };
    for (const QString& sql : queries) {
        const auto rows = c.select(sql, {table});
        if (!rows.ok()) continue;
        QHash<QString, QStringList> columns;
        for (int r = 0; r < rows.value.recordCount(); ++r)
            columns[rows.value.text(r, 0)] << rows.value.text(r, 1);
        std::vector<QSet<QString>> sets;
        for (const QStringList& names : std::as_const(columns))
            sets.push_back(lowerSet(names));
        return sets;
    }
    return std::nullopt;
}

} // namespace

PlantStatus create(PlantConnection& c, int sampleColumns) {
    if (PlantStatus s = c.open(); !s.ok()) return s;
    QString curve = QStringLiteral("create table if not exists Curve "
                                   "(SerNum varchar(255), NumCurve integer");
    // Samples are singles; a 4-byte real also keeps a full PostgreSQL row within a page.
    for (int k = 0; k < sampleColumns; ++k)
        curve += QLatin1Char(',') + c.quoted(QString::number(k)) + QStringLiteral(" real");
    curve += QLatin1Char(')');
    const QString statements[] = {
        QStringLiteral("create table if not exists Whole_Parameter (SerNum varchar(255), "
                       "Speci varchar(255), VF double precision, Length double precision, "
                       "Area double precision, Weight double precision, IQNum varchar(255), "
                       "PLNum varchar(255), NodeNum double precision, ProDate varchar(10), "
                       "Pace double precision, Conner varchar(255))"),
        QStringLiteral("create table if not exists Part_Parameter (SerNum varchar(255), "
                       "NumCurve integer, SpecVot double precision, Bend double precision, "
                       "Pull double precision, Tr double precision, Vm double precision, "
                       "Vt double precision)"),
        curve,
        QStringLiteral("create table if not exists Criterion (Speci varchar(255))"),
    };
    for (const QString& sql : statements)
        if (PlantStatus s = c.exec(sql); !s.ok()) return s;
    for (const KeyIndex& key : Keys)
        if (PlantStatus s = c.exec(key.create(true)); !s.ok()) return s;
    return PlantStatus::success();
}

PlantStatus drop(PlantConnection& c) {
    for (const char* table : {"Whole_Parameter", "Part_Parameter", "Curve", "Criterion"})
        if (PlantStatus s =
                c.exec(QStringLiteral("drop table if exists %1").arg(QLatin1String(table)));
            !s.ok())
            return s;
    return PlantStatus::success();
}

PlantReply<QJsonObject> check(PlantConnection& c) {
    using Reply = PlantReply<QJsonObject>;
    QJsonObject tables;
    int sampleColumns = 0;
    for (const TableColumns& needed : Needed) {
        const QString table = QLatin1String(needed.table);
        const auto found = c.columnNames(table);
        if (!found.ok() && found.status.fault != PlantFault::Rejected)
            return Reply::failed(found.status);
        const QSet<QString> names = lowerSet(found.value);
        QJsonArray present, missing;
        for (const QString& column : needed.columns)
            (names.contains(column.toLower()) ? present : missing).append(column);
        tables[table] =
            QJsonObject{{"present", found.ok()}, {"columns", present}, {"missing", missing}};
        if (table == QLatin1String("Curve"))
            for (const QString& name : found.value) {
                bool number = false;
                name.toInt(&number);
                if (number) ++sampleColumns;
            }
    }
    QJsonValue missingIndexes = QJsonArray();
    for (const KeyIndex& key : Keys) {
        const QString table = QLatin1String(key.table);
        if (!tables[table].toObject()[QStringLiteral("present")].toBool()) continue;
        const auto indexes = uniqueIndexes(c, table);
        if (!indexes) {
            missingIndexes = QJsonValue::Null;
            break;
        }
        const QSet<QString> wanted = lowerSet(key.columns);
        if (std::find(indexes->begin(), indexes->end(), wanted) != indexes->end()) continue;
        QJsonArray list = missingIndexes.toArray();
        list.append(QJsonObject{{"table", table},
                                {"columns", QJsonArray::fromStringList(key.columns)},
                                {"create", key.create(false)}});
        missingIndexes = list;
    }
    return {QJsonObject{{"tables", tables},
                        {"sampleColumns", sampleColumns},
                        {"missingIndexes", missingIndexes}},
            {}};
}

bool complete(const QJsonObject& report) {
    const QJsonObject tables = report[QStringLiteral("tables")].toObject();
    for (const QJsonValue& t : tables)
        if (!t[QStringLiteral("present")].toBool() ||
            !t[QStringLiteral("missing")].toArray().isEmpty())
            return false;
    return report[QStringLiteral("sampleColumns")].toInt() > 0 &&
           report[QStringLiteral("missingIndexes")].toArray().isEmpty();
}

} // namespace q7rk::plantSchema
