#include "app/ConditionForm.h"

#include "kinds/TestKindDescription.h"
#include "results/ResultSchema.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace q7rk {

namespace {

const QString Between = QStringLiteral("介于");
const QString AnyField = QStringLiteral("不限");

template <typename W> W* named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

ConditionForm::ConditionForm(Use use, QWidget* parent) : QWidget(parent), m_use(use) {
    m_kind = named(new QComboBox(this), "Combo3");
    m_kind->addItems(kindItems());
    m_field = named(new QComboBox(this), "Combo1");
    m_comparison = named(new QComboBox(this), "Combo2");
    m_comparison->addItems(
        {QStringLiteral(">"), QStringLiteral("<"), Between, QStringLiteral("=")});
    m_value1 = named(new QLineEdit(QStringLiteral("0"), this), "Text1");
    m_value2 = named(new QLineEdit(this), "Text2");
    m_value2->setEnabled(false); // only "介于" has an upper bound

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    const QStringList captions{
        QStringLiteral("选择测试类型"),
        use == Use::Search ? QStringLiteral("选择查询名称") : QStringLiteral("筛选条件"),
        QStringLiteral("选择方向"), QStringLiteral("参数值1"), QStringLiteral("参数值2")};
    const QList<QWidget*> boxes{m_kind, m_field, m_comparison, m_value1, m_value2};
    for (int c = 0; c < boxes.size(); ++c) {
        grid->addWidget(new QLabel(captions[c], this), 0, c);
        grid->addWidget(boxes[c], 1, c);
    }
    grid->setColumnStretch(int(boxes.size()), 1); // the boxes keep their size
    fillFields();

    connect(m_kind, &QComboBox::currentIndexChanged, this, [this] {
        fillFields();
        emit kindChosen(kind());
    });
    connect(m_comparison, &QComboBox::currentIndexChanged, this, &ConditionForm::comparisonChosen);
}

QStringList ConditionForm::kindItems() {
    QStringList items;
    for (TestKind kind : allKinds())
        items << QString::fromUtf8(description(kind).queryItem);
    return items;
}

TestKind ConditionForm::kind() const {
    return kindAt(m_kind->currentIndex());
}

void ConditionForm::setKind(TestKind kind) {
    m_kind->setCurrentIndex(int(std::ranges::find(allKinds(), kind) - allKinds().begin()));
}

// A filter leaves out the test date and the operator: the trend window has boxes of its own
// for them.
void ConditionForm::fillFields() {
    m_field->clear();
    if (m_use == Use::Search) {
        m_field->addItems(searchFields(kind()));
        return;
    }
    m_field->addItem(AnyField);
    for (const QString& f : searchFields(kind()))
        if (f != QStringLiteral("测试日期") && f != QStringLiteral("测试人")) m_field->addItem(f);
}

void ConditionForm::comparisonChosen() {
    m_value2->setEnabled(m_comparison->currentText() == Between);
    m_value1->setText(QStringLiteral("0"));
    m_value2->setText(QStringLiteral("1000"));
}

std::optional<QueryCondition> ConditionForm::condition() const {
    if (m_use == Use::Filter && m_field->currentIndex() <= 0) return std::nullopt;
    const auto value = [this](const QLineEdit* edit) {
        return m_use == Use::Filter ? edit->text().trimmed() : edit->text();
    };
    return QueryCondition{kind(), m_field->currentText(), m_comparison->currentText(),
                          value(m_value1), value(m_value2)};
}

void ConditionForm::setCondition(const QueryCondition& condition) {
    setKind(condition.kind);
    m_field->setCurrentText(condition.field);
    m_comparison->setCurrentText(condition.comparison);
    m_value1->setText(condition.value1);
    m_value2->setText(condition.value2);
}

} // namespace q7rk
