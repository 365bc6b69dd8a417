#pragma once

#include "quality/ControlChart.h"
#include "results/ResultStore.h"

#include <QList>
#include <QString>
#include <optional>
#include <vector>

namespace q7rk {

// A numeric field of a test kind that can be followed over time, and the field of the same
// record that holds its tolerance limit, as the verdict of the run compares them (the kind's
// limit pairs).
struct TrendField {
    QString name;
    QString limitField; // empty when the field has no limit
    LimitSide side = LimitSide::None;
};

// The field by its table name; nullopt for a field that is missing or holds no number.
std::optional<TrendField> trendField(TestKind kind, const QString& name);
// Every field trendField accepts, in table order.
QStringList trendFields(TestKind kind);

struct TrendRequest {
    TestKind kind = TestKind::Tv;
    QString field;
    QString from; // test dates "yyyy/MM/dd", both included
    QString to;
    QList<QueryCondition> filters; // all must hold; their kind is the request's
};

// One test on the chart.
struct TrendPoint {
    QString testNumber;
    bool afterBoiling = false; // with the number, the key of the stored test
    QString date;
    double value = 0;
    std::optional<double> limit; // the record's own tolerance limit
    // Set when the value was corrected by hand: the value first measured.
    std::optional<QString> measured;
};

struct TrendData {
    bool readable = true;           // false when the file is there but cannot be read
    std::vector<TrendPoint> points; // by test date, a day's tests as they were stored
    // The one limit every point shares (records without one aside); none when they differ.
    SpecLimits limits;
    QString limitsNote; // why there is no limit to judge the capability by
    QString message;    // empty when points were found; otherwise what to tell

    std::vector<double> values() const;
};

// The one limit every point's own limit shares becomes the data's limit on the field's side;
// where they differ or none has one, a note says why capability cannot be judged.
void shareLimit(const TrendField& field, TrendData& data);

// Reads the trend of one field from the kind's result file: the tests of the date range that
// hold a value and pass every filter. Values are bound. The first read of a file gives it an
// index on the test date (when the file can be written), so a month out of years of tests is
// read without scanning them all; the tables themselves are left as they are.
class TrendQuery {
public:
    explicit TrendQuery(const ResultStore& store) : m_store(store) {}

    TrendData run(const TrendRequest& request) const;

private:
    const ResultStore& m_store;
};

} // namespace q7rk
