#pragma once

#include "kinds/TestKindDescription.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <optional>
#include <span>

namespace q7rk {

// Field names of a kind in table (and grid) order.
QStringList fieldNames(TestKind kind);
// Position of a field in the kind's table, or -1.
int fieldIndex(TestKind kind, const QString& name);
FieldType fieldType(TestKind kind, int index);
// The stored field a box is written to (not one that only shows it); empty when none.
QString storedField(TestKind kind, Box box);

// The fields offered for a search, in the order of the query window's list.
QStringList searchFields(TestKind kind);
// The fields the correction dialog offers; the test number is the key and never changes.
QStringList correctableFields(TestKind kind);

// The curve rows of every test of a file live in this one table.
inline constexpr const char* CurveTableName = "曲线数据";

// Beside the test number in the tables keyed by it (curve rows, measurement conditions,
// history): 1 for a test measured after boiling, 0 otherwise. Files of older versions lack
// it until they are next written; they held each number once, so the number alone finds
// their rows.
inline constexpr const char* BoilingColumn = "水煮后";

// The kind's parameter table as SQL names it, and its fields in table order.
QString parameterTable(TestKind kind);
QString columnList(TestKind kind);
// 1 for a parameter row of a test after boiling, 0 otherwise (always 0 for a kind without the
// boiling marks). `row` qualifies the column for a subquery.
QString boilingOfRow(TestKind kind, const QString& row = {});
// The parameter rows of one test, with the key's values in `binds`.
QString rowKeyClause(TestKind kind, const TestKey& key, QVariantList& binds);

// The field the rows of a search are ordered by, before their order in the file; the result
// file keeps an index on it (`ResultFile::indexTestDates`).
inline constexpr const char* TestDateField = "测试日期";

// A box text as it goes into the file: a text as it is, a number as REAL, a date as
// "yyyy/mm/dd", a mark as "True"/"False"; an empty number, date or mark is NULL. nullopt when
// the field cannot take the text (letters in a number, an invalid date).
std::optional<QVariant> storedValue(FieldType type, const QString& text);
// A stored value as the grid and the boxes show it: numbers as plain decimals, NULL empty.
QString shownValue(FieldType type, const QVariant& value);

// A date typed as 2012/6/1, 2012-06-01 or 2012.6.1 as stored: "2012/06/01"; nullopt when
// it is no valid calendar date.
std::optional<QString> normaliseDate(const QString& text);

} // namespace q7rk
