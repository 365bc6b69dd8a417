#include "MessageBoxPrompter.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace q7rk {

void MessageBoxPrompter::inform(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, m_parent);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.exec();
}

void MessageBoxPrompter::notify(const QString& title, const QString& text) {
    // Shown and left: open() returns at once, the box closes itself when answered.
    auto* box = new QMessageBox(QMessageBox::Information, title, text, QMessageBox::Ok, m_parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box->open();
}

bool MessageBoxPrompter::ask(QuestionKey, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No,
                    m_parent);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("是"));
    box.button(QMessageBox::No)->setText(QStringLiteral("否"));
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> MessageBoxPrompter::askText(QuestionKey, const QString& title,
                                                   const QString& label, const QString& proposed) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(m_parent, title, label, QLineEdit::Normal, proposed, &ok);
    return ok ? std::optional<QString>(text) : std::nullopt;
}

QString MessageBoxPrompter::saveFileName(const QString& title, const QString& proposedName,
                                         const QString& filter) {
    return QFileDialog::getSaveFileName(m_parent, title, proposedName, filter);
}

QString MessageBoxPrompter::openFileName(const QString& title, const QString& filter) {
    return QFileDialog::getOpenFileName(m_parent, title, QString(), filter);
}

} // namespace q7rk
