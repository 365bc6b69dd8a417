#pragma once

#include "plant/PlantRecordset.h"
#include "plant/PlantSource.h"
#include "plant/PlantStatus.h"

#include <QVariantList>
#include <optional>

namespace q7rk {

// The two shared routines through which single statements reach the plant database. The
// values of a statement are bound to its "?" marks, never pasted into its text.

// A query, returned with all its rows; the error goes to the caller.
PlantReply<PlantRecordset> openPlantRecordset(const PlantSource& source, const QString& sql,
                                              const QVariantList& values = {});

// A statement whose first word (up to the first blank) is a command word - INSERT, DELETE,
// UPDATE, EXECUTE or any part of them, an empty word included - is executed and yields
// nothing, with `message` "<word>query successful"; anything else is a query, yielding its
// rows and "查询到<count>条记录". On any failure `message` is "查询错误:" and the reason, and
// nothing is returned.
std::optional<PlantRecordset> runPlantSql(const PlantSource& source, const QString& sql,
                                          const QVariantList& values, QString& message);

} // namespace q7rk
