#pragma once

#include "shell/Prompter.h"

#include <QPointer>
#include <QWidget>

namespace q7rk {

// The program's Prompter: real message boxes and file dialogs, modal to the main window.
class MessageBoxPrompter : public Prompter {
public:
    // The dialogs' parent; may be set later, once the window exists.
    explicit MessageBoxPrompter(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    void inform(const QString& title, const QString& text) override;
    void notify(const QString& title, const QString& text) override;
    bool ask(QuestionKey question, const QString& title, const QString& text) override;
    std::optional<QString> askText(QuestionKey question, const QString& title,
                                   const QString& label, const QString& proposed) override;
    QString saveFileName(const QString& title, const QString& proposedName,
                         const QString& filter) override;
    QString openFileName(const QString& title, const QString& filter) override;

private:
    QPointer<QWidget> m_parent;
};

} // namespace q7rk
