#include "PlantSchema.h"

#include "plant/PlantConnection.h"

namespace q7rk::plantSchema {

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
        // One row per key: two stations sending the same piece at once cannot both insert.
        QStringLiteral("create unique index if not exists Whole_Parameter_Key "
                       "on Whole_Parameter (SerNum)"),
        QStringLiteral("create unique index if not exists Part_Parameter_Key "
                       "on Part_Parameter (SerNum, NumCurve)"),
        QStringLiteral("create unique index if not exists Curve_Key on Curve (SerNum, NumCurve)"),
    };
    for (const QString& sql : statements)
        if (PlantStatus s = c.exec(sql); !s.ok()) return s;
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

} // namespace q7rk::plantSchema
