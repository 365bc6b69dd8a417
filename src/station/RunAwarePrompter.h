#pragma once

#include "shell/Prompter.h"

namespace q7rk {

class RunController;

// Passes everything to the program's prompter, but a message that would wait for the
// operator is shown without waiting while a run is live: windows that stay open during a
// run (calibration) must not hold up its timers.
class RunAwarePrompter : public Prompter {
public:
    RunAwarePrompter(Prompter& inner, const RunController& run) : m_inner(inner), m_run(run) {}
    void inform(const QString& title, const QString& text) override;
    void notify(const QString& title, const QString& text) override;
    bool ask(QuestionKey question, const QString& title, const QString& text) override;
    std::optional<QString> askText(QuestionKey question, const QString& title,
                                   const QString& label, const QString& proposed) override;
    QString saveFileName(const QString& title, const QString& proposedName,
                         const QString& filter) override;
    QString openFileName(const QString& title, const QString& filter) override;

private:
    Prompter& m_inner;
    const RunController& m_run;
};

} // namespace q7rk
