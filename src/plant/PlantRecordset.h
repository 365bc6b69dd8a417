#pragma once

#include <QString>
#include <QVariant>
#include <vector>

namespace q7rk {

// The rows of one query, read in full while the connection was open, so the row count is
// known at once and nothing stays connected afterwards. Fields by 0-based position in the
// table's column order.
class PlantRecordset {
public:
    PlantRecordset() = default;
    explicit PlantRecordset(std::vector<QVariantList> rows) : m_rows(std::move(rows)) {}

    int recordCount() const { return int(m_rows.size()); }
    // Fields of one row; rows of one query all have the same number.
    int fieldCount(int row) const {
        return row >= 0 && row < recordCount() ? int(m_rows[std::size_t(row)].size()) : 0;
    }
    QVariant value(int row, int field) const;
    // A field as the page shows it: Null as empty text, numbers in plain notation.
    QString text(int row, int field) const;

private:
    std::vector<QVariantList> m_rows;
};

} // namespace q7rk
