#pragma once

#include "shell/Prompter.h"

#include <memory>

namespace q7rk {

// The window's prompter: every message and question goes into the log (q7rk.ui) with the
// answer given, then to the dialogs underneath (message boxes, or a test's script), so that
// 消息记录 and the daily log hold what the operator was told whichever shows it.
class LoggedPrompter : public Prompter {
public:
    explicit LoggedPrompter(std::unique_ptr<Prompter> inner) : m_inner(std::move(inner)) {}
    Prompter& inner() { return *m_inner; }

    void inform(const QString& title, const QString& text) override;
    void notify(const QString& title, const QString& text) override;
    bool ask(QuestionKey question, const QString& title, const QString& text) override;
    std::optional<QString> askText(QuestionKey question, const QString& title, const QString& label,
                                   const QString& proposed) override;
    QString saveFileName(const QString& title, const QString& proposedName,
                         const QString& filter) override;
    QString openFileName(const QString& title, const QString& filter) override;

private:
    std::unique_ptr<Prompter> m_inner;
};

} // namespace q7rk
