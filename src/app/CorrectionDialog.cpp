#include "CorrectionDialog.h"

#include "app/QueryWindow.h"
#include "results/QueryModel.h"
#include "results/ResultSchema.h"
#include "results/ResultTexts.h"
#include "results/StoredVerdict.h"
#include "settings/ProgramTitle.h"
#include "shell/Prompter.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace q7rk {

CorrectionDialog::CorrectionDialog(QueryModel& model, Prompter& prompter, int record,
                                   QWidget* parent)
    : QWidget(parent, Qt::Dialog), m_model(model), m_prompter(prompter), m_record(record),
      m_key(model.keyAt(record)), m_kind(model.condition().kind) {
    setObjectName(QStringLiteral("jlxg"));
    setWindowTitle(QStringLiteral("记录修改"));
    // Over the query window only, and without a loop of its own: the query window's rows
    // cannot change while a correction is typed.
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);

    m_field = new QComboBox(this);
    m_field->setObjectName(QStringLiteral("Combo1"));
    m_field->addItems(correctableFields(m_kind));
    m_field->setCurrentIndex(-1); // the operator picks the field first
    m_value = new QLineEdit(this);
    m_value->setObjectName(QStringLiteral("Text1"));
    auto* apply = new QPushButton(QStringLiteral("记录修改"), this);
    apply->setObjectName(QStringLiteral("Command1"));
    auto* quit = new QPushButton(QStringLiteral("退出"), this);
    quit->setObjectName(QStringLiteral("Command2"));

    auto* heading = new QLabel(QStringLiteral("修 改 值"), this);
    QFont big = heading->font();
    big.setPointSize(big.pointSize() + 4);
    heading->setFont(big);
    auto* grid = new QGridLayout(this);
    grid->addWidget(heading, 0, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("请先选择查询记录，再修改记录"), this), 1, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("选择要修改的记录："), this), 2, 0);
    grid->addWidget(m_field, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("修改为："), this), 3, 0);
    grid->addWidget(m_value, 3, 1);
    grid->addWidget(apply, 4, 0);
    grid->addWidget(quit, 4, 1);

    connect(apply, &QPushButton::clicked, this, &CorrectionDialog::apply);
    connect(quit, &QPushButton::clicked, this, &QWidget::close);
}

void CorrectionDialog::apply() {
    const QString title = programTitle::full();
    // The record is the one the operator picked; rows that were fetched again since hold
    // another list, and nothing in it is corrected.
    if (m_model.condition().kind != m_kind || m_model.keyAt(m_record) != m_key)
        return m_prompter.inform(title, resulttext::operationFailed());
    const QString field = m_field->currentText();
    const QString value = m_value->text();
    QList<FieldChange> changes{{field, value}};
    // A corrected measurement may change the verdict: the record's own limits judge it again,
    // and the operator sees the result before anything is written.
    const auto stored = value.isEmpty() ? std::nullopt : m_model.store().load(m_kind, m_key);
    if (const auto again = stored
                               ? rejudge(m_kind, stored->values, field, value, m_model.sparkRule())
                               : std::nullopt) {
        const QString text =
            QStringLiteral("%1改为 %2 后，按本记录的指标重新判定，%3为“%4”（原为“%5”）。\n"
                           "是否按新的判定结果修改%3？")
                .arg(field, value, again->verdictField, again->after, again->before);
        if (m_prompter.ask(Question::RejudgeVerdict, resulttext::infoTitle(), text) &&
            again->after != again->before)
            changes << FieldChange{again->verdictField, again->after};
    }
    const ResultOutcome outcome = m_model.correct(m_record, changes);
    m_prompter.inform(title, outcome.message);
    if (!outcome.warning.isEmpty()) m_prompter.inform(title, outcome.warning);
}

} // namespace q7rk
