#pragma once

#include "kinds/TestKindDescription.h"

#include <QWidget>

class QComboBox;
class QLineEdit;

namespace q7rk {

class Prompter;
class QueryModel;

// `jlxg`, "记录修改": corrects one field of the stored test in the query window's selected
// row. Its field list is that of the rows' kind, so it always corrects the file the rows came
// from; the test number, the key, is not offered. It stays open after a correction until
// "退出"; the query window's grid shows the change after the next query.
class CorrectionDialog : public QWidget {
    Q_OBJECT
public:
    CorrectionDialog(QueryModel& model, Prompter& prompter, int record, QWidget* parent);

    const TestKey& key() const { return m_key; }

private:
    void apply();

    QueryModel& m_model;
    Prompter& m_prompter;
    int m_record;
    TestKey m_key;
    TestKind m_kind;
    QComboBox* m_field = nullptr;
    QLineEdit* m_value = nullptr;
};

} // namespace q7rk
