#include "RunAwarePrompter.h"

#include "execution/RunController.h"

namespace q7rk {

void RunAwarePrompter::inform(const QString& title, const QString& text) {
    if (m_run.isRunning())
        m_inner.notify(title, text);
    else
        m_inner.inform(title, text);
}

void RunAwarePrompter::notify(const QString& title, const QString& text) {
    m_inner.notify(title, text);
}

bool RunAwarePrompter::ask(QuestionKey question, const QString& title, const QString& text) {
    return m_inner.ask(question, title, text);
}

std::optional<QString> RunAwarePrompter::askText(QuestionKey question, const QString& title,
                                                const QString& label, const QString& proposed) {
    return m_inner.askText(question, title, label, proposed);
}

QString RunAwarePrompter::saveFileName(const QString& title, const QString& proposedName,
                                       const QString& filter) {
    return m_inner.saveFileName(title, proposedName, filter);
}

QString RunAwarePrompter::openFileName(const QString& title, const QString& filter) {
    return m_inner.openFileName(title, filter);
}

} // namespace q7rk
