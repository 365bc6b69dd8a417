#include "PlantSql.h"

#include "plant/PlantConnection.h"

namespace q7rk {

PlantReply<PlantRecordset> openPlantRecordset(const PlantSource& source, const QString& sql,
                                              const QVariantList& values) {
    PlantConnection connection(source, PlantLogin::Recordset);
    return connection.select(sql.trimmed(), values);
}

std::optional<PlantRecordset> runPlantSql(const PlantSource& source, const QString& sql,
                                          const QVariantList& values, QString& message) {
    const QString firstWord = sql.section(QLatin1Char(' '), 0, 0);
    PlantConnection connection(source, PlantLogin::Shared);
    if (QStringLiteral("INSERT,DELETE,UPDATE,EXECUTE").contains(firstWord.toUpper())) {
        const PlantStatus s = connection.exec(sql, values);
        if (!s.ok()) {
            message = QStringLiteral("查询错误:") + s.message;
            return std::nullopt;
        }
        message = firstWord + QStringLiteral("query successful");
        return std::nullopt;
    }
    PlantReply<PlantRecordset> rows = connection.select(sql.trimmed(), values);
    if (!rows.ok()) {
        message = QStringLiteral("查询错误:") + rows.status.message;
        return std::nullopt;
    }
    message = QStringLiteral("查询到%1条记录").arg(rows.value.recordCount());
    return std::move(rows.value);
}

} // namespace q7rk
