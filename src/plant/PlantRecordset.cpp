#include "PlantRecordset.h"

#include "settings/NumberText.h"

namespace q7rk {

QVariant PlantRecordset::value(int row, int field) const {
    if (row < 0 || row >= recordCount()) return {};
    const QVariantList& r = m_rows[std::size_t(row)];
    return field >= 0 && field < r.size() ? r[field] : QVariant();
}

QString PlantRecordset::text(int row, int field) const {
    const QVariant v = value(row, field);
    if (v.isNull()) return {};
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return formatNumber(v.toDouble());
    default:
        return v.toString();
    }
}

} // namespace q7rk
