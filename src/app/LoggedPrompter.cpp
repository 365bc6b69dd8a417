#include "LoggedPrompter.h"

#include "app/UiLog.h"

namespace q7rk {

void LoggedPrompter::inform(const QString& title, const QString& text) {
    uilog::told(title, text, true);
    m_inner->inform(title, text);
}

void LoggedPrompter::notify(const QString& title, const QString& text) {
    uilog::told(title, text, false);
    m_inner->notify(title, text);
}

bool LoggedPrompter::ask(QuestionKey question, const QString& title, const QString& text) {
    const bool yes = m_inner->ask(question, title, text);
    uilog::asked(question, text, yes);
    return yes;
}

std::optional<QString> LoggedPrompter::askText(QuestionKey question, const QString& title,
                                               const QString& label, const QString& proposed) {
    auto text = m_inner->askText(question, title, label, proposed);
    uilog::askedForLine(question, text.has_value());
    return text;
}

QString LoggedPrompter::saveFileName(const QString& title, const QString& proposedName,
                                     const QString& filter) {
    return m_inner->saveFileName(title, proposedName, filter);
}

QString LoggedPrompter::openFileName(const QString& title, const QString& filter) {
    return m_inner->openFileName(title, filter);
}

} // namespace q7rk
