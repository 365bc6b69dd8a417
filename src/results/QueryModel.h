#pragma once

#include "results/ResultStore.h"

#include <optional>

namespace q7rk {

// A batch count as typed: a whole number, 0 or more; nullopt for anything else (negative,
// fractional, not a number), which is refused rather than looped on.
std::optional<int> parseBatchCount(const QString& text);

// The query window without widgets: it runs a search, keeps its rows, and deletes and
// corrects the records of those rows. A record is addressed by its test number, taken from
// the rows the operator sees, never by running the search again and counting.
//
// Grid rows as the window lays them out: row 0 is the empty fixed row, row 1 the header,
// rows 2..n+1 the n records, then one empty row.
class QueryModel {
public:
    explicit QueryModel(ResultStore& store) : m_store(store) {}

    // Runs the search and keeps it; deletions run it again so the rows stay current.
    const ResultRows& run(const QueryCondition& condition);
    const ResultRows& rows() const { return m_rows; }
    const QueryCondition& condition() const { return m_condition; }

    int gridRowCount() const { return m_rows.count() + 3; }
    // The record a grid row shows, or nullopt for the fixed, header and last rows.
    std::optional<int> recordOfGridRow(int gridRow) const;
    QString testNumberAt(int record) const;

    // Deletes the record; "删除完毕！" only when its parameter row went.
    ResultOutcome deleteRecord(std::optional<int> record);
    // Deletes `countText` consecutive records from `record` on (fewer when the list ends).
    ResultOutcome deleteBatch(std::optional<int> record, const QString& countText);
    // Corrects one field of the record. The rows are not refreshed: the operator searches
    // again to see the change.
    ResultOutcome correct(std::optional<int> record, const QString& field, const QString& value);

private:
    bool valid(std::optional<int> record) const {
        return record && *record >= 0 && *record < m_rows.count();
    }
    ResultOutcome removeAndRefresh(const QStringList& numbers);

    ResultStore& m_store;
    QueryCondition m_condition;
    ResultRows m_rows;
    bool m_ran = false;
};

} // namespace q7rk
