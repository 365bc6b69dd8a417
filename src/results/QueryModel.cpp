#include "QueryModel.h"

#include "results/ResultTexts.h"

#include <QRegularExpression>
#include <algorithm>

namespace q7rk {

std::optional<int> parseBatchCount(const QString& text) {
    static const QRegularExpression digits(QStringLiteral(R"(^\s*\+?(\d{1,9})\s*$)"));
    const QRegularExpressionMatch m = digits.match(text);
    if (!m.hasMatch()) return std::nullopt;
    return m.captured(1).toInt();
}

const ResultRows& QueryModel::run(const QueryCondition& condition, int atLeast) {
    m_condition = condition;
    m_ran = true;
    m_counted.reset();
    m_rows = ResultStore::emptyRows(condition.kind);
    m_store.appendPage(condition, m_rows, std::max(atLeast, PageRows));
    return m_rows;
}

int QueryModel::fetchMore(int limit) {
    if (!canFetchMore()) return 0;
    const int before = m_rows.count();
    if (!m_store.appendPage(m_condition, m_rows, limit)) m_rows.atEnd = true;
    return m_rows.count() - before;
}

std::optional<qint64> QueryModel::totalCount() const {
    if (m_ran && m_rows.atEnd) return m_rows.count();
    return m_counted;
}

std::optional<qint64> QueryModel::countAll() {
    if (!m_ran) return std::nullopt;
    if (!totalCount()) m_counted = m_store.countMatches(m_condition);
    return totalCount();
}

std::optional<int> QueryModel::recordOfGridRow(int gridRow) const {
    if (gridRow < 2 || gridRow > gridRowCount() - 2) return std::nullopt;
    return gridRow - 2;
}

QString QueryModel::testNumberAt(int record) const {
    return valid(record) ? m_rows.value(record, 0).toString() : QString();
}

TestKey QueryModel::keyAt(int record) const {
    return valid(record) ? m_rows.key(record) : TestKey{};
}

ResultOutcome QueryModel::removeAndRefresh(const QList<TestKey>& keys) {
    const ResultOutcome out = m_store.remove(m_condition.kind, keys);
    // The rows show the file as it is now, whatever went wrong.
    if (m_ran) run(m_condition, m_rows.count());
    return out;
}

ResultOutcome QueryModel::deleteRecord(std::optional<int> record) {
    if (!valid(record)) return {false, resulttext::noSelection()};
    if (!signerReady()) return {false, resulttext::noSigner()};
    return removeAndRefresh({keyAt(*record)});
}

ResultOutcome QueryModel::deleteBatch(std::optional<int> record, const QString& countText) {
    if (!valid(record)) return {false, resulttext::noSelection()};
    const auto count = parseBatchCount(countText);
    if (!count) return {false, resulttext::badBatchCount()};
    if (!signerReady()) return {false, resulttext::noSigner()};
    const qint64 end = qint64(*record) + *count;
    while (m_rows.count() < end && fetchMore() > 0) {
    }
    QList<TestKey> keys;
    for (int r = *record; r < m_rows.count() && r < end; ++r)
        keys << keyAt(r);
    return removeAndRefresh(keys);
}

ResultOutcome QueryModel::restore(TestKind kind, qint64 deletionId) {
    if (!signerReady(kind)) return {false, resulttext::noSigner()};
    return m_store.restore(kind, deletionId);
}

ResultOutcome QueryModel::correct(std::optional<int> record, const QString& field,
                                  const QString& value) {
    if (!valid(record)) return {false, resulttext::noSelection()};
    return correct(record, QList<FieldChange>{{field, value}});
}

ResultOutcome QueryModel::correct(std::optional<int> record, const QList<FieldChange>& changes) {
    if (!valid(record)) return {false, resulttext::noSelection()};
    if (!signerReady()) return {false, resulttext::noSigner()};
    return m_store.correct(m_condition.kind, keyAt(*record), changes);
}

} // namespace q7rk
