#pragma once

#include "results/ResultStore.h"

#include <QWidget>
#include <optional>

class QComboBox;
class QLineEdit;

namespace q7rk {

// The kind, field, comparison and values of a condition on stored tests, as the query window
// searches with it and the trend window filters with it: one form, one list of kinds, one
// order of comparisons. "介于" alone takes the second value. The boxes keep the old control
// names (Combo3, Combo1, Combo2, Text1, Text2).
class ConditionForm : public QWidget {
    Q_OBJECT

public:
    // A search always has a field; a filter's field list starts with "不限", no condition.
    enum class Use { Search, Filter };
    explicit ConditionForm(Use use, QWidget* parent = nullptr);

    // The query items of the kinds, in the order of allKinds().
    static QStringList kindItems();

    TestKind kind() const;
    void setKind(TestKind kind);
    // The condition as typed (values trimmed for a filter); none when a filter says "不限".
    std::optional<QueryCondition> condition() const;
    // Shows a condition in the boxes as if typed.
    void setCondition(const QueryCondition& condition);

signals:
    void kindChosen(q7rk::TestKind kind);

private:
    void fillFields();
    void comparisonChosen();

    Use m_use;
    QComboBox* m_kind = nullptr;
    QComboBox* m_field = nullptr;
    QComboBox* m_comparison = nullptr;
    QLineEdit* m_value1 = nullptr;
    QLineEdit* m_value2 = nullptr;
};

} // namespace q7rk
