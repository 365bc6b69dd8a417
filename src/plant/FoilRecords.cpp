#include "FoilRecords.h"

#include "plant/PieceRecords.h"
#include "plant/PlantConnection.h"
#include "plant/PlantInput.h"

namespace q7rk {

namespace {

// A LIKE pattern that finds `text` anywhere, its own % and _ taken literally.
QString containsPattern(const QString& text) {
    QString escaped;
    for (QChar c : text) {
        if (c == QLatin1Char('!') || c == QLatin1Char('%') || c == QLatin1Char('_'))
            escaped += QLatin1Char('!');
        escaped += c;
    }
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

QStringList firstColumn(const PlantRecordset& rows) {
    QStringList out;
    for (int r = 0; r < rows.recordCount(); ++r)
        out << trimBlanks(rows.text(r, 0));
    return out;
}

} // namespace

FoilRecords::FoilRecords(PlantSource source) : m_source(std::move(source)) {}

PlantReply<QStringList> FoilRecords::listSerials(const QString& filter) const {
    PlantConnection c(m_source, PlantLogin::Shared);
    const auto rows = c.select(
        QStringLiteral("select SerNum from Whole_Parameter where SerNum like ? escape '!'"),
        {containsPattern(trimBlanks(filter))});
    if (!rows.ok()) return PlantReply<QStringList>::failed(rows.status);
    return {firstColumn(rows.value), {}};
}

PlantReply<QStringList> FoilRecords::listGrades() const {
    PlantConnection c(m_source, PlantLogin::Shared);
    const auto rows = c.select(QStringLiteral("select Speci from Criterion"));
    if (!rows.ok()) return PlantReply<QStringList>::failed(rows.status);
    return {firstColumn(rows.value), {}};
}

PlantReply<bool> FoilRecords::hasGrade(const QString& grade) const {
    PlantConnection c(m_source, PlantLogin::Recordset);
    const auto rows =
        c.select(QStringLiteral("select Speci from Criterion where Speci=?"), {trimBlanks(grade)});
    if (!rows.ok()) return PlantReply<bool>::failed(rows.status);
    return {rows.value.recordCount() > 0, {}};
}

PlantStatus FoilRecords::addGrade(const QString& grade) const {
    PlantConnection c(m_source, PlantLogin::Recordset);
    return c.exec(QStringLiteral("insert into Criterion (Speci) values (?)"), {trimBlanks(grade)});
}

PlantReply<OpenedFoil> FoilRecords::open(const QString& serial) const {
    using Reply = PlantReply<OpenedFoil>;
    const QString s = trimBlanks(serial);
    PlantConnection c(m_source, PlantLogin::Shared);
    // By name: the plant's table may hold more columns, in any order.
    const auto rows = c.select(QStringLiteral("select SerNum,Speci,VF,Length,Area,Weight,IQNum,"
                                              "PLNum,NodeNum from Whole_Parameter where SerNum=?"),
                               {s});
    if (!rows.ok()) return Reply::failed(rows.status);
    OpenedFoil opened;
    if (rows.value.recordCount() > 0) {
        const PlantRecordset& r = rows.value;
        opened.foil =
            FoilRecord{r.text(0, 0), r.text(0, 1), r.text(0, 2), r.text(0, 3), r.text(0, 4),
                       r.text(0, 5), r.text(0, 6), r.text(0, 7), r.text(0, 8)};
    }
    auto pieces = loadPieces(c, s);
    if (!pieces.ok()) return Reply::failed(pieces.status);
    opened.pieces = std::move(pieces.value);
    // The curves are a picture of what is stored: when they cannot be read, the foil
    // still opens, without them.
    auto curves = loadCurves(c, s);
    if (curves.ok()) opened.curves = std::move(curves.value);
    return {std::move(opened), {}};
}

PlantReply<bool> FoilRecords::save(const FoilRecord& foil, QDate today) const {
    const auto values = foilValues(foil);
    if (!values.ok()) return PlantReply<bool>::failed(values.status);
    const FoilValues& v = values.value;
    PlantConnection c(m_source, PlantLogin::Own);
    // Two stations saving the same new serial: serializable, the loser starts over and
    // finds the winner's row to update (the unique index stops a second insert).
    bool insert = false;
    const PlantStatus s = c.serializable([&]() -> PlantStatus {
        const auto existing = c.select(
            QStringLiteral("select SerNum from Whole_Parameter where SerNum=?"), {v.serial});
        if (!existing.ok()) return existing.status;
        insert = existing.value.recordCount() == 0;
        return insert ? insertFoil(c, v, today)
                      : c.exec(QStringLiteral("update Whole_Parameter set Speci=?,VF=?,Length=?,"
                                              "Area=?,Weight=?,IQNum=?,PLNum=?,NodeNum=? "
                                              "where SerNum=?"),
                               {v.grade, v.vf, v.length, v.area, v.weight, v.iqNumber,
                                v.productionLine, v.joints, v.serial});
    });
    if (!s.ok()) return PlantReply<bool>::failed(s);
    return {insert, {}};
}

PlantStatus FoilRecords::remove(const QString& serial) const {
    const QString s = trimBlanks(serial);
    PlantConnection c(m_source, PlantLogin::Own);
    if (PlantStatus st = c.begin(); !st.ok()) return st;
    for (const char* table : {"Whole_Parameter", "Part_Parameter", "Curve"}) {
        const PlantStatus st =
            c.exec(QStringLiteral("delete from %1 where SerNum=?").arg(QLatin1String(table)), {s});
        if (!st.ok()) return st;
    }
    return c.commit();
}

} // namespace q7rk
