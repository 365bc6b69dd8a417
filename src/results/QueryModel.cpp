#include "QueryModel.h"

#include "results/ResultTexts.h"

#include <QRegularExpression>

namespace q7rk {

std::optional<int> parseBatchCount(const QString& text) {
    static const QRegularExpression digits(QStringLiteral(R"(^\s*\+?(\d{1,9})\s*$)"));
    const QRegularExpressionMatch m = digits.match(text);
    if (!m.hasMatch()) return std::nullopt;
    return m.captured(1).toInt();
}

const ResultRows& QueryModel::run(const QueryCondition& condition) {
    m_condition = condition;
    m_ran = true;
    m_rows = m_store.query(condition);
    return m_rows;
}

std::optional<int> QueryModel::recordOfGridRow(int gridRow) const {
    if (gridRow < 2 || gridRow > gridRowCount() - 2) return std::nullopt;
    return gridRow - 2;
}

QString QueryModel::testNumberAt(int record) const {
    return valid(record) ? m_rows.rows[record].value(0) : QString();
}

ResultOutcome QueryModel::removeAndRefresh(const QStringList& numbers) {
    const ResultOutcome out = m_store.remove(m_condition.kind, numbers);
    // The rows show the file as it is now, whatever went wrong.
    if (m_ran) run(m_condition);
    return out;
}

ResultOutcome QueryModel::deleteRecord(std::optional<int> record) {
    if (!valid(record)) return {false, resulttext::noSelection()};
    return removeAndRefresh({testNumberAt(*record)});
}

ResultOutcome QueryModel::deleteBatch(std::optional<int> record, const QString& countText) {
    if (!valid(record)) return {false, resulttext::noSelection()};
    const auto count = parseBatchCount(countText);
    if (!count) return {false, resulttext::badBatchCount()};
    QStringList numbers;
    for (int r = *record; r < m_rows.count() && r < *record + *count; ++r)
        numbers << testNumberAt(r);
    return removeAndRefresh(numbers);
}

ResultOutcome QueryModel::correct(std::optional<int> record, const QString& field,
                                  const QString& value) {
    if (!valid(record)) return {false, resulttext::noSelection()};
    return m_store.correct(m_condition.kind, testNumberAt(*record), field, value);
}

} // namespace q7rk
