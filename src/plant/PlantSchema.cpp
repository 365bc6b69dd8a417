#include "PlantSchema.h"

#include "plant/PlantConnection.h"

#include <QHash>
#include <QJsonArray>
#include <QSet>
#include <QSqlField>
#include <QSqlRecord>
#include <algorithm>
#include <optional>
#include <vector>

namespace q7rk::plantSchema {

namespace {

// What the program binds to a column, hence the values the column must take.
enum class Holds { Text, Number, DateText };

struct NeededColumn {
    const char* name;
    Holds holds;
};

struct TableColumns {
    const char* table;
    std::vector<NeededColumn> columns; // the sample columns of Curve are looked at apart
};

constexpr Holds T = Holds::Text;
constexpr Holds N = Holds::Number;
constexpr Holds D = Holds::DateText;

// As the uploads and saves bind them. ProDate is bound as the text "yyyy/MM/dd", which a date
// column takes as well (SQLite and PostgreSQL both do).
const TableColumns Needed[] = {
    {"Whole_Parameter",
     {{"SerNum", T},
      {"Speci", T},
      {"VF", N},
      {"Length", N},
      {"Area", N},
      {"Weight", N},
      {"IQNum", T},
      {"PLNum", T},
      {"NodeNum", N},
      {"ProDate", D},
      {"Pace", N},
      {"Conner", T}}},
    {"Part_Parameter",
     {{"SerNum", T},
      {"NumCurve", N},
      {"SpecVot", N},
      {"Bend", N},
      {"Pull", N},
      {"Tr", N},
      {"Vm", N},
      {"Vt", N}}},
    {"Curve", {{"SerNum", T}, {"NumCurve", N}}},
    {"Criterion", {{"Speci", T}}},
};

// The delays the boiling options preset, before and after boiling, in seconds.
constexpr int DelayBeforeBoiling = 180;
constexpr int DelayAfterBoiling = 60;

QString holdsName(Holds h) {
    switch (h) {
    case Holds::Text:
        return QStringLiteral("text");
    case Holds::Number:
        return QStringLiteral("number");
    case Holds::DateText:
        break;
    }
    return QStringLiteral("text or date");
}

// Whether the column comes back through ODBC as what the program binds: a text column reads
// as a string, a number column as a number (a text column would take a bound number and give
// back a string, a number column refuses a serial outright).
bool usable(const QSqlField& field, Holds holds) {
    switch (field.metaType().id()) {
    case QMetaType::QString:
        return holds == Holds::Text || holds == Holds::DateText;
    case QMetaType::QDate:
    case QMetaType::QDateTime:
        return holds == Holds::DateText;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
        return holds == Holds::Number;
    default:
        return false;
    }
}

// The ODBC SQL type of a column, for a server whose catalogue is not read here.
QString odbcTypeName(int sqlType) {
    static const QHash<int, const char*> names{
        {1, "CHAR"},       {12, "VARCHAR"},       {-1, "LONGVARCHAR"}, {-8, "WCHAR"},
        {-9, "WVARCHAR"},  {-10, "WLONGVARCHAR"}, {2, "NUMERIC"},      {3, "DECIMAL"},
        {4, "INTEGER"},    {5, "SMALLINT"},       {6, "FLOAT"},        {7, "REAL"},
        {8, "DOUBLE"},     {-5, "BIGINT"},        {-6, "TINYINT"},     {-7, "BIT"},
        {91, "DATE"},      {92, "TIME"},          {93, "TIMESTAMP"},   {-2, "BINARY"},
        {-3, "VARBINARY"}, {-4, "LONGVARBINARY"}};
    const auto it = names.constFind(sqlType);
    return it != names.cend() ? QStringLiteral("SQL_") + QLatin1String(*it)
                              : QStringLiteral("SQL type %1").arg(sqlType);
}

// The declared type of each column (by lower-case name) as the server's catalogue names it,
// PostgreSQL's or SQLite's; empty where neither answers.
QHash<QString, QString> declaredTypes(PlantConnection& c, const QString& table) {
    const QString queries[] = {
        QStringLiteral("select a.attname, format_type(a.atttypid, a.atttypmod) "
                       "from pg_attribute a join pg_class t on t.oid = a.attrelid "
                       "where pg_table_is_visible(t.oid) and lower(t.relname) = lower(?) "
                       "and a.attnum > 0 and not a.attisdropped"),
        QStringLiteral("select name, type from pragma_table_info(?)"),
    };
    for (const QString& sql : queries) {
        const auto rows = c.select(sql, {table});
        if (!rows.ok() || rows.value.recordCount() == 0) continue;
        QHash<QString, QString> types;
        for (int r = 0; r < rows.value.recordCount(); ++r)
            types.insert(rows.value.text(r, 0).toLower(), rows.value.text(r, 1));
        return types;
    }
    return {};
}

QString typeOf(const QSqlField& field, const QHash<QString, QString>& declared) {
    const auto it = declared.constFind(field.name().toLower());
    return it != declared.cend() ? *it : odbcTypeName(field.typeID());
}

QJsonObject unusableColumn(const QString& name, const QString& type, Holds holds) {
    return QJsonObject{{"column", name}, {"type", type}, {"needs", holdsName(holds)}};
}

// Runs of missing indexes between the first and last sample column, as [from, to].
QJsonArray gaps(const std::vector<int>& indexes) {
    QJsonArray out;
    int expected = 0;
    for (int k : indexes) {
        if (k > expected) out.append(QJsonArray{expected, k - 1});
        expected = k + 1;
    }
    return out;
}

// What Curve's sample columns allow: how many, where they start and end, where one is missing,
// which cannot hold a voltage, and the longest curve an upload can write (the run from "0"),
// as samples and as seconds of a TV test, one sample a second of delay plus rise time.
QJsonObject sampleReport(const QSqlRecord& curve, const QHash<QString, QString>& declared) {
    QStringList names;
    for (int i = 0; i < curve.count(); ++i)
        names << curve.fieldName(i);
    const std::vector<int> indexes = sampleIndexes(names);
    QJsonArray unusable;
    for (int i = 0; i < curve.count(); ++i) {
        const QSqlField field = curve.field(i);
        bool number = false;
        const int k = field.name().toInt(&number);
        if (!number || QString::number(k) != field.name() || usable(field, Holds::Number)) continue;
        unusable.append(unusableColumn(field.name(), typeOf(field, declared), Holds::Number));
    }
    const int fits = leadingSamples(indexes);
    QJsonObject longest{{"samples", fits}, {"seconds", fits}};
    // The rise time left with the delays the boiling options preset.
    longest["riseTimeBeforeBoiling"] = std::max(0, fits - DelayBeforeBoiling);
    longest["riseTimeAfterBoiling"] = std::max(0, fits - DelayAfterBoiling);
    return QJsonObject{
        {"count", int(indexes.size())},
        {"first", indexes.empty() ? QJsonValue() : QJsonValue(indexes.front())},
        {"last", indexes.empty() ? QJsonValue() : QJsonValue(indexes.back())},
        {"gaps", gaps(indexes)},
        {"unusable", unusable},
        {"longestCurve", longest},
    };
}

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

// Indexes that keep the reads of the quality trends short on a plant of many testers: a
// grade over a range of upload dates.
struct RecommendedIndex {
    const char* table;
    const char* name;
    QStringList columns; // leading columns, in this order
    const char* reason;

    QString create() const {
        return QStringLiteral("create index %1 on %2 (%3)")
            .arg(QLatin1String(name), QLatin1String(table), columns.join(QStringLiteral(", ")));
    }
};

const RecommendedIndex Recommended[] = {
    {"Whole_Parameter",
     "Whole_Parameter_Speci_ProDate",
     {"Speci", "ProDate"},
     "质量趋势按规格和上传日期读取卷"},
};

// The columns of each of the table's indexes over plain columns, in index order; nothing
// where neither catalogue answers.
std::optional<std::vector<QStringList>> indexColumns(PlantConnection& c, const QString& table) {
    const QString queries[] = {
        QStringLiteral("select c.relname, a.attname from pg_index i "
                       "join pg_class c on c.oid = i.indexrelid "
                       "join pg_class t on t.oid = i.indrelid "
                       "cross join lateral unnest(i.indkey::int2[]) with ordinality k(attnum, n) "
                       "join pg_attribute a on a.attrelid = t.oid and a.attnum = k.attnum "
                       "where i.indpred is null and pg_table_is_visible(t.oid) "
                       "and lower(t.relname) = lower(?) order by c.relname, k.n"),
        QStringLiteral("select l.name, i.name from pragma_index_list(?) l, "
                       "pragma_index_info(l.name) i where l.partial = 0 "
                       "order by l.name, i.seqno"),
    };
    for (const QString& sql : queries) {
        const auto rows = c.select(sql, {table});
        if (!rows.ok()) continue;
        std::vector<QStringList> indexes;
        QString current;
        for (int r = 0; r < rows.value.recordCount(); ++r) {
            if (indexes.empty() || rows.value.text(r, 0) != current) {
                current = rows.value.text(r, 0);
                indexes.emplace_back();
            }
            indexes.back() << rows.value.text(r, 1).toLower();
        }
        return indexes;
    }
    return std::nullopt;
}

// What the quality trends would want and the table's indexes do not lead with.
QJsonValue missingRecommended(PlantConnection& c, const QJsonObject& tables) {
    QJsonArray list;
    for (const RecommendedIndex& index : Recommended) {
        const QString table = QLatin1String(index.table);
        if (!tables[table].toObject()[QStringLiteral("present")].toBool()) continue;
        const auto indexes = indexColumns(c, table);
        if (!indexes) return QJsonValue::Null;
        QStringList wanted;
        for (const QString& column : index.columns)
            wanted << column.toLower();
        const bool led = std::any_of(indexes->begin(), indexes->end(), [&](const QStringList& i) {
            return i.mid(0, wanted.size()) == wanted;
        });
        if (led) continue;
        list.append(QJsonObject{{"table", table},
                                {"columns", QJsonArray::fromStringList(index.columns)},
                                {"create", index.create()},
                                {"for", QString::fromUtf8(index.reason)}});
    }
    return list;
}

} // namespace

std::vector<int> sampleIndexes(const QStringList& columnNames) {
    std::vector<int> indexes;
    for (const QString& name : columnNames) {
        bool number = false;
        const int k = name.toInt(&number);
        if (number && k >= 0 && QString::number(k) == name) indexes.push_back(k);
    }
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    return indexes;
}

int leadingSamples(const std::vector<int>& indexes) {
    int k = 0;
    while (std::size_t(k) < indexes.size() && indexes[std::size_t(k)] == k)
        ++k;
    return k;
}

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
    QJsonObject samples;
    for (const TableColumns& needed : Needed) {
        const QString table = QLatin1String(needed.table);
        const auto found = c.columns(table);
        if (!found.ok() && found.status.fault != PlantFault::Rejected)
            return Reply::failed(found.status);
        const QSqlRecord& record = found.value;
        const QHash<QString, QString> declared =
            found.ok() ? declaredTypes(c, table) : QHash<QString, QString>();
        // Matched by name, whatever the order and whatever else the table holds.
        QHash<QString, int> position;
        for (int i = 0; i < record.count(); ++i)
            position.insert(record.fieldName(i).toLower(), i);
        QJsonArray present, missing, unusable;
        QJsonObject types;
        for (const NeededColumn& column : needed.columns) {
            const QString name = QLatin1String(column.name);
            const auto at = position.constFind(name.toLower());
            if (at == position.cend()) {
                missing.append(name);
                continue;
            }
            present.append(name);
            const QSqlField field = record.field(*at);
            const QString type = typeOf(field, declared);
            types[name] = type;
            if (!usable(field, column.holds))
                unusable.append(unusableColumn(name, type, column.holds));
        }
        tables[table] = QJsonObject{{"present", found.ok()},
                                    {"columns", present},
                                    {"missing", missing},
                                    {"types", types},
                                    {"unusable", unusable}};
        if (table == QLatin1String("Curve")) samples = sampleReport(record, declared);
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
                        {"sampleColumns", samples},
                        {"missingIndexes", missingIndexes},
                        {"recommendedIndexes", missingRecommended(c, tables)}},
            {}};
}

bool complete(const QJsonObject& report) {
    const QJsonObject tables = report[QStringLiteral("tables")].toObject();
    for (const QJsonValue& t : tables)
        if (!t[QStringLiteral("present")].toBool() ||
            !t[QStringLiteral("missing")].toArray().isEmpty() ||
            !t[QStringLiteral("unusable")].toArray().isEmpty())
            return false;
    const QJsonObject samples = report[QStringLiteral("sampleColumns")].toObject();
    return samples[QStringLiteral("count")].toInt() > 0 &&
           samples[QStringLiteral("gaps")].toArray().isEmpty() &&
           samples[QStringLiteral("first")].toInt(-1) == 0 &&
           samples[QStringLiteral("unusable")].toArray().isEmpty() &&
           report[QStringLiteral("missingIndexes")].toArray().isEmpty();
}

} // namespace q7rk::plantSchema
