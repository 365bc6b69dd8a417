#include "plant/PieceTrend.h"

#include <QSqlQuery>
#include <QStringList>

namespace q7rk {

namespace {

constexpr PieceFieldName kFields[] = {
    {PieceField::Vt, "vt", "Vt"},
    {PieceField::Tr, "tr", "Tr"},
    {PieceField::Vm, "vm", "Vm"},
    {PieceField::TvRatio, "ratio", "Vt/VF"},
    {PieceField::SpecVot, "specvot", "比容"},
    {PieceField::Bend, "bend", "折弯"},
    {PieceField::Pull, "pull", "抗拉"},
    {PieceField::DeltaVt, "dvt", "ΔVt"},
    {PieceField::DeltaTr, "dtr", "ΔTr"},
};

// The column of Part_Parameter a field reads.
const char* columnOf(PieceField field) {
    switch (field) {
    case PieceField::Vt:
    case PieceField::TvRatio:
    case PieceField::DeltaVt:
        return "Vt";
    case PieceField::Tr:
    case PieceField::DeltaTr:
        return "Tr";
    case PieceField::Vm:
        return "Vm";
    case PieceField::SpecVot:
        return "SpecVot";
    case PieceField::Bend:
        return "Bend";
    case PieceField::Pull:
        return "Pull";
    }
    return "Vt";
}

std::optional<double> numberIn(const QVariant& v) {
    if (v.isNull()) return std::nullopt;
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok ? std::optional(d) : std::nullopt;
}

// ProDate is written as the text "yyyy/MM/dd"; a plant whose column is a date gives a date.
QDate dateIn(const QVariant& v) {
    if (v.typeId() == QMetaType::QDate) return v.toDate();
    const QString text = v.toString().trimmed().left(10);
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy/MM/dd"));
    return date.isValid() ? date : QDate::fromString(text, Qt::ISODate);
}

QString dateText(QDate date) {
    return date.toString(QStringLiteral("yyyy/MM/dd"));
}

} // namespace

std::span<const PieceFieldName> pieceFields() {
    return kFields;
}

std::optional<PieceField> pieceFieldFromKey(const QString& key) {
    for (const PieceFieldName& f : kFields)
        if (key.compare(QLatin1String(f.key), Qt::CaseInsensitive) == 0) return f.field;
    return std::nullopt;
}

QString pieceFieldName(PieceField field) {
    for (const PieceFieldName& f : kFields)
        if (f.field == field) return QString::fromUtf8(f.name);
    return {};
}

bool isBoilingChange(PieceField field) {
    return field == PieceField::DeltaVt || field == PieceField::DeltaTr;
}

PlantReply<PieceTrend> readPieceTrend(PlantConnection& connection, const PieceTrendRequest& request,
                                      const std::function<bool(int rowsRead)>& goOn) {
    const bool change = isBoilingChange(request.field);
    const QString column = QLatin1String(columnOf(request.field));
    QString sql =
        QStringLiteral("select w.SerNum, w.ProDate, w.PLNum, w.VF, p.NumCurve, p.%1").arg(column);
    if (change) sql += QStringLiteral(", a.%1").arg(column);
    sql += QStringLiteral(" from Whole_Parameter w join Part_Parameter p on p.SerNum = w.SerNum");
    if (change)
        sql += QStringLiteral(" left join Part_Parameter a on a.SerNum = p.SerNum"
                              " and a.NumCurve = p.NumCurve + 3");
    QStringList where;
    QVariantList values;
    const auto condition = [&](const char* test, const QVariant& value) {
        where << QLatin1String(test);
        values << value;
    };
    if (!request.spec.isEmpty()) condition("w.Speci = ?", request.spec);
    if (!request.line.isEmpty()) condition("w.PLNum = ?", request.line);
    if (request.from.isValid()) condition("w.ProDate >= ?", dateText(request.from));
    if (request.to.isValid()) condition("w.ProDate <= ?", dateText(request.to));
    if (request.piece >= 1 && request.piece <= 3) {
        where << QStringLiteral("(p.NumCurve = ? or p.NumCurve = ?)");
        values << request.piece << request.piece + 3;
    }
    if (change || request.boiling == BoilingSide::Before)
        where << QStringLiteral("p.NumCurve <= 3");
    else if (request.boiling == BoilingSide::After)
        where << QStringLiteral("p.NumCurve >= 4");
    if (!where.isEmpty()) sql += QStringLiteral(" where ") + where.join(QStringLiteral(" and "));
    sql += QStringLiteral(" order by w.ProDate, w.SerNum, p.NumCurve");

    PieceTrend trend;
    int rows = 0;
    const PlantStatus status = connection.eachRow(sql, values, [&](const QSqlQuery& q) {
        ++rows;
        if (goOn && rows % 4096 == 0 && !goOn(rows)) return false;
        std::optional<double> value = numberIn(q.value(5));
        if (change) {
            const auto after = numberIn(q.value(6));
            value = value && after ? std::optional(*after - *value) : std::nullopt;
        } else if (request.field == PieceField::TvRatio) {
            const auto vf = numberIn(q.value(3));
            value = value && vf && *vf > 0 ? std::optional(*value / *vf) : std::nullopt;
        }
        if (!value) {
            ++trend.withoutValue;
            return true;
        }
        trend.points.push_back({q.value(0).toString().trimmed(), q.value(4).toInt(),
                                dateIn(q.value(1)), q.value(2).toString().trimmed(), *value,
                                numberIn(q.value(3))});
        return true;
    });
    if (!status.ok()) return PlantReply<PieceTrend>::failed(status);
    if (goOn) goOn(rows);
    return {std::move(trend), {}};
}

std::vector<FoilSubgroup> foilSubgroups(const std::vector<PiecePoint>& points) {
    std::vector<FoilSubgroup> groups;
    for (int i = 0; i < int(points.size()); ++i) {
        const PiecePoint& p = points[std::size_t(i)];
        if (!groups.empty()) {
            const PiecePoint& first = points[std::size_t(groups.back().first)];
            if (first.serial == p.serial && first.afterBoiling() == p.afterBoiling()) {
                ++groups.back().count;
                continue;
            }
        }
        groups.push_back({i, 1});
    }
    return groups;
}

} // namespace q7rk
