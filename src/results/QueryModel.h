#pragma once

#include "results/ResultStore.h"

#include <functional>
#include <optional>

namespace q7rk {

// A batch count as typed: a whole number, 0 or more; nullopt for anything else (negative,
// fractional, not a number), which is refused rather than looped on.
std::optional<int> parseBatchCount(const QString& text);

// The query window without widgets: it runs a search, keeps its rows, and deletes and
// corrects the records of those rows. A record is addressed by its key, taken from
// the rows the operator sees, never by running the search again and counting. The rows are
// read a page at a time as the grid needs them, so a search over a year of tests shows its
// first screen at once.
//
// Grid rows as the window lays them out: row 0 is the empty fixed row, row 1 the header,
// rows 2..n+1 the n records read so far, then one empty row.
class QueryModel {
public:
    static constexpr int PageRows = 500;

    explicit QueryModel(ResultStore& store) : m_store(store) {}

    // Asked before every change of a stored test: true when there is a name to sign it with
    // (the station asks the operator for one when none is on screen). Without it, changes go
    // ahead.
    void setSignerCheck(std::function<bool(TestKind)> check) { m_signerReady = std::move(check); }

    // Runs the search and keeps it, reading its first page (at least `atLeast` rows when
    // there are that many); deletions run it again so the rows stay current.
    const ResultRows& run(const QueryCondition& condition, int atLeast = PageRows);
    const ResultRows& rows() const { return m_rows; }
    bool hasRun() const { return m_ran; }
    const QueryCondition& condition() const { return m_condition; }
    const ResultStore& store() const { return m_store; }
    ResultStore& store() { return m_store; }
    // Which voltage of the first spark a corrected electrolyte record is judged by again, as
    // the end of a run judges it (the station reads the setting).
    void setSparkRuleSource(std::function<SparkVoltageRule()> source) {
        m_sparkRule = std::move(source);
    }
    SparkVoltageRule sparkRule() const {
        return m_sparkRule ? m_sparkRule() : SparkVoltageRule::AfterFall;
    }

    bool canFetchMore() const { return m_ran && !m_rows.atEnd; }
    // Reads the next page; the number of rows it added.
    int fetchMore(int limit = PageRows);
    // The number of matching records: known once every row is read or counted.
    std::optional<qint64> totalCount() const;
    // Counts the matching records in the file without reading them.
    std::optional<qint64> countAll();

    int gridRowCount() const { return m_rows.count() + 3; }
    // The record a grid row shows, or nullopt for the fixed, header and last rows.
    std::optional<int> recordOfGridRow(int gridRow) const;
    QString testNumberAt(int record) const;
    // The number and boiling state of the record.
    TestKey keyAt(int record) const;

    // Deletes the record; "删除完毕！" only when its parameter row went.
    ResultOutcome deleteRecord(std::optional<int> record);
    // Deletes `countText` consecutive records from `record` on (fewer when the list ends).
    ResultOutcome deleteBatch(std::optional<int> record, const QString& countText);
    // Corrects one field of the record. The rows are not refreshed: the operator searches
    // again to see the change.
    ResultOutcome correct(std::optional<int> record, const QString& field, const QString& value);
    // Puts back the test a deletion line of the kind's file keeps (ResultStore::restore).
    ResultOutcome restore(TestKind kind, qint64 deletionId);
    // Several fields of the record at once (a measurement and the verdict judged again).
    ResultOutcome correct(std::optional<int> record, const QList<FieldChange>& changes);

private:
    bool valid(std::optional<int> record) const {
        return record && *record >= 0 && *record < m_rows.count();
    }
    ResultOutcome removeAndRefresh(const QList<TestKey>& keys);

    bool signerReady() const { return signerReady(m_condition.kind); }
    bool signerReady(TestKind kind) const { return !m_signerReady || m_signerReady(kind); }

    ResultStore& m_store;
    std::function<bool(TestKind)> m_signerReady;
    QueryCondition m_condition;
    ResultRows m_rows;
    std::optional<qint64> m_counted;
    bool m_ran = false;
    std::function<SparkVoltageRule()> m_sparkRule;
};

} // namespace q7rk
