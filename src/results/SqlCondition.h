#pragma once

#include "results/ResultStore.h"

#include <QString>
#include <QVariantList>
#include <optional>

namespace q7rk {

// A search condition as SQL on the kind's parameter table: a clause with "?" for each value
// and the values to bind, in order.
struct SqlCondition {
    QString sql;
    QVariantList binds;
};

// nullopt when the condition can find nothing (no such field, a value the field cannot
// take, an unknown comparison). An empty field means every row.
std::optional<SqlCondition> sqlCondition(const QueryCondition& condition);

// A table or field name as SQL writes it.
QString quotedName(const QString& name);
// The same for a name written in the source (UTF-8).
inline QString quotedName(const char* utf8) {
    return quotedName(QString::fromUtf8(utf8));
}

} // namespace q7rk
