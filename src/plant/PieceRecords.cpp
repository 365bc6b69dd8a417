#include "PieceRecords.h"

#include "plant/PlantConnection.h"
#include "plant/PlantInput.h"
#include "plant/PlantSchema.h"
#include "plant/PlantTexts.h"
#include "settings/NumberText.h"

#include <charconv>
#include <cmath>

namespace q7rk {

namespace {

PlantStatus badInput(const QString& message) {
    return PlantStatus::failure(PlantFault::BadInput, message);
}

// The decimal a sample is written as: the shortest text that gives the same single back.
double decimalOf(float v) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, v).ptr;
    double d = 0;
    std::from_chars(text, end, d);
    return d;
}

QString cellText(const QVariant& v, int decimals) {
    return v.isNull() ? QString() : formatFixed(v.toDouble(), decimals);
}

// The piece as the plant now holds it, read inside the transaction that wrote it: one row
// of each table, with the results sent. A trigger or a rule of the plant's server that
// changed or dropped the rows must not pass for a stored piece.
PlantStatus readBack(PlantConnection& c, const QString& serial, int n, const QVariantList& sent) {
    const QVariantList key{serial, n};
    const auto row = c.select(
        QStringLiteral("select Tr,Vm,Vt from Part_Parameter where SerNum=? and NumCurve=?"), key);
    if (!row.ok()) return row.status;
    const auto curves =
        c.select(QStringLiteral("select count(*) from Curve where SerNum=? and NumCurve=?"), key);
    if (!curves.ok()) return curves.status;
    bool same = row.value.recordCount() == 1 && curves.value.recordCount() == 1 &&
                curves.value.value(0, 0).toInt() == 1;
    for (int i = 0; same && i < 3; ++i)
        // A column of single precision gives back the nearest single.
        same = std::abs(row.value.value(0, i).toDouble() - sent[i].toDouble()) <=
               1e-6 * std::max(1.0, std::abs(sent[i].toDouble()));
    return same ? PlantStatus::success()
                : PlantStatus::failure(PlantFault::Rejected, plantTexts::readBackMismatch(n));
}

} // namespace

PieceRecords::PieceRecords(PlantSource source) : m_source(std::move(source)) {}

PlantStatus insertFoil(PlantConnection& c, const FoilValues& v, QDate date) {
    return c.exec(QStringLiteral("insert into Whole_Parameter (SerNum,Speci,VF,Length,Area,"
                                 "Weight,IQNum,PLNum,NodeNum,ProDate,Pace,Conner) "
                                 "values (?,?,?,?,?,?,?,?,?,?,?,?)"),
                  {v.serial, v.grade, v.vf, v.length, v.area, v.weight, v.iqNumber,
                   v.productionLine, v.joints, date.toString(QStringLiteral("yyyy/MM/dd")), 1000.0,
                   QStringLiteral("OQC")});
}

PlantStatus writeWholeRoll(PlantConnection& c, const QString& serial,
                           const std::vector<WholeRollValue>& values, QDate date) {
    if (values.empty()) return PlantStatus::success();
    const auto existing =
        c.select(QStringLiteral("select SerNum from Whole_Parameter where SerNum=?"), {serial});
    if (!existing.ok()) return existing.status;
    QStringList columns;
    QVariantList bound;
    for (const WholeRollValue& v : values) {
        columns << QString::fromLatin1(v.column);
        bound << v.value;
    }
    if (existing.value.recordCount() > 0) {
        // Only what the page holds; the lab's values that the page does not show stay.
        return c.exec(QStringLiteral("update Whole_Parameter set %1=? where SerNum=?")
                          .arg(columns.join(QStringLiteral("=?,"))),
                      bound << serial);
    }
    // What the page does not hold stays Null, for the lab to fill in.
    columns << QStringLiteral("ProDate") << QStringLiteral("Pace") << QStringLiteral("Conner");
    bound << date.toString(QStringLiteral("yyyy/MM/dd")) << 1000.0 << QStringLiteral("OQC");
    return c.exec(
        QStringLiteral("insert into Whole_Parameter (SerNum,%1) values (?%2)")
            .arg(columns.join(QLatin1Char(',')), QStringLiteral(",?").repeated(columns.size())),
        QVariantList{serial} + bound);
}

PlantReply<std::optional<FoilRecord>> readWholeRoll(PlantConnection& c, const QString& serial) {
    using Reply = PlantReply<std::optional<FoilRecord>>;
    const auto rows = c.select(QStringLiteral("select SerNum,Speci,VF,Length,Area,Weight,IQNum,"
                                              "PLNum,NodeNum from Whole_Parameter where SerNum=?"),
                               {trimBlanks(serial)});
    if (!rows.ok()) return Reply::failed(rows.status);
    if (rows.value.recordCount() == 0) return {std::nullopt, {}};
    const PlantRecordset& r = rows.value;
    return {FoilRecord{r.text(0, 0), r.text(0, 1), r.text(0, 2), r.text(0, 3), r.text(0, 4),
                       r.text(0, 5), r.text(0, 6), r.text(0, 7), r.text(0, 8)},
            {}};
}

PlantStatus PieceRecords::upload(const PieceUpload& piece) const {
    PlantConnection c(m_source, PlantLogin::Own);
    return upload(piece, c);
}

PlantStatus PieceRecords::upload(const PieceUpload& piece, PlantConnection& c) const {
    const int n = piece.curveNumber;
    if (n < 1 || n > 6) return badInput(plantTexts::badCurveNumber(n));
    std::vector<WholeRollValue> foil;
    if (piece.writesFoil()) {
        auto values = heldWholeRoll(*piece.foil);
        if (!values.ok()) return values.status;
        foil = std::move(values.value);
    }
    const auto cells = pieceCellValues(n, piece.cells);
    if (!cells.ok()) return cells.status;
    QVariantList results;
    const std::pair<const QString*, const char*> runTexts[] = {
        {&piece.riseTime, "Tr"}, {&piece.maxVoltage, "Vm"}, {&piece.tvValue, "Vt"}};
    for (const auto& [text, label] : runTexts) {
        const auto v = parseNumber(*text);
        if (!v) return badInput(plantTexts::pieceNeedsNumber(n, QString::fromLatin1(label)));
        results << *v;
    }
    const int points = std::max<int>(1, int(piece.curve.size()));
    const QString serial = trimBlanks(piece.serial);

    // The sample columns run from 0 without gaps: asking for the last one the curve needs
    // is enough, and much cheaper than describing a table of 1600 columns. The name goes
    // with its table, as SQLite takes an unknown quoted name alone for a text.
    const PlantStatus fits = c.exec(QStringLiteral("select Curve.%1 from Curve where 1=0")
                                        .arg(c.quoted(QString::number(points - 1))));
    if (!fits.ok()) {
        if (fits.fault != PlantFault::Rejected) return fits;
        const auto columns = c.columnNames(QStringLiteral("Curve"));
        if (!columns.ok()) return columns.status;
        const int sampleColumns = int(columns.value.size()) - 2;
        if (points > sampleColumns)
            return PlantStatus::failure(PlantFault::CurveTooLong,
                                        plantTexts::curveTooLong(n, points, sampleColumns));
        return fits;
    }

    // Stations sending the same foil at the same moment: each piece is written as one
    // serializable transaction, and the one that loses starts over, when it deletes what
    // the winner stored. The keys are compared bare, so the unique indexes find the rows.
    return c.serializable([&]() -> PlantStatus {
        if (PlantStatus s = writeWholeRoll(c, serial, foil, piece.date); !s.ok()) return s;
        const QVariantList key{serial, n};
        std::array<QVariant, 3> lab = cells.value;
        if (piece.keepPlantCells) {
            const auto kept = c.select(QStringLiteral("select SpecVot,Bend,Pull from "
                                                      "Part_Parameter where SerNum=? and "
                                                      "NumCurve=?"),
                                       key);
            if (!kept.ok()) return kept.status;
            for (int i = 0; i < 3; ++i)
                lab[std::size_t(i)] =
                    kept.value.recordCount() > 0 && !kept.value.value(0, i).isNull()
                        ? kept.value.value(0, i)
                        : nullNumber();
        }
        if (PlantStatus s = c.exec(
                QStringLiteral("delete from Part_Parameter where SerNum=? and NumCurve=?"), key);
            !s.ok())
            return s;
        if (PlantStatus s =
                c.exec(QStringLiteral("insert into Part_Parameter (SerNum,NumCurve,"
                                      "SpecVot,Bend,Pull,Tr,Vm,Vt) "
                                      "values (?,?,?,?,?,?,?,?)"),
                       QVariantList{serial, n, lab[0], lab[1], lab[2]} + results);
            !s.ok())
            return s;
        if (PlantStatus s =
                c.exec(QStringLiteral("delete from Curve where SerNum=? and NumCurve=?"), key);
            !s.ok())
            return s;

        QString names = QStringLiteral("insert into Curve (SerNum,NumCurve");
        QString marks = QStringLiteral(") values (?,?");
        QVariantList values{serial, n};
        values.reserve(points + 2);
        for (int k = 0; k < points; ++k) {
            names += QLatin1Char(',') + c.quoted(QString::number(k));
            marks += QStringLiteral(",?");
            values << (k == 0 || std::size_t(k) >= piece.curve.size()
                           ? 0.0
                           : decimalOf(piece.curve[std::size_t(k)]));
        }
        if (PlantStatus s = c.exec(names + marks + QLatin1Char(')'), values); !s.ok()) return s;
        return readBack(c, serial, n, results);
    });
}

PlantReply<SavedCells> PieceRecords::saveCells(const QString& serial,
                                               const PieceTable& grid) const {
    using Reply = PlantReply<SavedCells>;
    const QString s = trimBlanks(serial);
    std::vector<SavedPiece> updates;
    for (int k = 1; k <= 6; ++k) {
        const PieceRowCells& row = grid[std::size_t(k - 1)];
        const bool tested = !trimBlanks(row[3]).isEmpty() || !trimBlanks(row[4]).isEmpty() ||
                            !trimBlanks(row[5]).isEmpty();
        if (!tested) continue;
        const auto values = pieceCellValues(k, PieceCells{row[0], row[1], row[2]});
        if (!values.ok()) return Reply::failed(values.status);
        updates.push_back({k, values.value});
    }
    SavedCells saved;
    if (updates.empty()) return {saved, {}};
    PlantConnection c(m_source, PlantLogin::Own);
    if (PlantStatus st = c.begin(); !st.ok()) return Reply::failed(st);
    for (const SavedPiece& piece : updates) {
        const QVariantList key{s, piece.curveNumber};
        const auto changed =
            c.execCounted(QStringLiteral("update Part_Parameter set SpecVot=?,Bend=?,Pull=? "
                                         "where SerNum=? and NumCurve=?"),
                          QVariantList{piece.values[0], piece.values[1], piece.values[2]} + key);
        if (!changed.ok()) return Reply::failed(changed.status);
        int rows = changed.value;
        // A driver that cannot count: the transaction still sees the rows the update met.
        if (rows < 0) {
            const auto counted = c.select(
                QStringLiteral("select count(*) from Part_Parameter where SerNum=? and NumCurve=?"),
                key);
            if (!counted.ok()) return Reply::failed(counted.status);
            rows = counted.value.value(0, 0).toInt();
        }
        if (rows > 0)
            saved.written.push_back(piece);
        else
            saved.withoutRow << piece.curveNumber;
    }
    if (PlantStatus st = c.commit(); !st.ok()) return Reply::failed(st);
    return {saved, {}};
}

PlantReply<std::vector<LoadedPiece>> loadPieces(PlantConnection& c, const QString& serial) {
    using Reply = PlantReply<std::vector<LoadedPiece>>;
    const auto rows = c.select(QStringLiteral("select NumCurve,SpecVot,Bend,Pull,Tr,Vm,Vt "
                                              "from Part_Parameter where SerNum=?"),
                               {serial});
    if (!rows.ok()) return Reply::failed(rows.status);
    std::vector<LoadedPiece> pieces;
    const PlantRecordset& r = rows.value;
    for (int i = 0; i < r.recordCount(); ++i) {
        const int m = r.value(i, 0).toInt();
        if (m < 1 || m > 6) continue;
        LoadedPiece p;
        p.curveNumber = m;
        p.cells[0] = cellText(r.value(i, 1), 3);
        for (int col = 1; col < 6; ++col)
            p.cells[std::size_t(col)] = cellText(r.value(i, col + 1), 2);
        p.riseTimeWhole = int(std::trunc(r.value(i, 4).toDouble()));
        pieces.push_back(p);
    }
    return {std::move(pieces), {}};
}

PlantReply<std::vector<StoredCurve>> loadCurves(PlantConnection& c, const QString& serial) {
    using Reply = PlantReply<std::vector<StoredCurve>>;
    // The sample columns are asked for by name, "0" up to the first one missing: the
    // table's own order and any columns of the plant's are no concern of the chart.
    const auto names = c.columnNames(QStringLiteral("Curve"));
    if (!names.ok()) return Reply::failed(names.status);
    const int samples = plantSchema::leadingSamples(plantSchema::sampleIndexes(names.value));
    QString sql = QStringLiteral("select NumCurve");
    sql.reserve(sql.size() + samples * 12);
    for (int k = 0; k < samples; ++k)
        sql += QStringLiteral(",Curve.") + c.quoted(QString::number(k));
    const auto rows = c.select(sql + QStringLiteral(" from Curve where SerNum=?"), {serial});
    if (!rows.ok()) return Reply::failed(rows.status);
    std::vector<StoredCurve> curves;
    const PlantRecordset& r = rows.value;
    for (int i = 0; i < r.recordCount(); ++i) {
        const int m = r.value(i, 0).toInt();
        if (m < 1 || m > 6) continue;
        StoredCurve curve;
        curve.curveNumber = m;
        // A row ends at its last filled column; a missing sample is never drawn.
        for (int field = 1; field < r.fieldCount(i); ++field) {
            const QVariant v = r.value(i, field);
            if (v.isNull()) break;
            curve.values.push_back(float(v.toDouble()));
        }
        curves.push_back(std::move(curve));
    }
    return {std::move(curves), {}};
}

int lastDrawnColumn(int curveNumber, int riseTimeWhole, int storedColumns) {
    const int lead = curveNumber <= 3 ? 177 : 57;
    return std::min(lead + riseTimeWhole, storedColumns - 1);
}

} // namespace q7rk
