#include "ScriptedPrompter.h"

namespace q7rk {

void ScriptedPrompter::inform(const QString& title, const QString& text) {
    m_shown.append({Shown::Message, title, text});
}

void ScriptedPrompter::notify(const QString& title, const QString& text) {
    m_shown.append({Shown::Notice, title, text});
}

bool ScriptedPrompter::ask(QuestionKey question, const QString& title, const QString& text) {
    m_shown.append({Shown::Question, title, text});
    if (m_asked) m_asked(question);
    auto found = m_answers.find({question.id, question.piece});
    if (found == m_answers.end()) found = m_answers.find({question.id, 0});
    if (found != m_answers.end()) return found->second;
    if (m_unanswered)
        m_unanswered(question.id, text);
    else
        qFatal("unanswered question %s: %s", questionName(question.id), qPrintable(text));
    return false;
}

std::optional<QString> ScriptedPrompter::askText(QuestionKey question, const QString& title,
                                                 const QString& label, const QString&) {
    m_shown.append({Shown::Question, title, label});
    if (m_asked) m_asked(question);
    if (const auto found = m_textAnswers.find(question.id); found != m_textAnswers.end())
        return found->second;
    if (m_unanswered)
        m_unanswered(question.id, label);
    else
        qFatal("unanswered question %s: %s", questionName(question.id), qPrintable(label));
    return std::nullopt;
}

QString ScriptedPrompter::saveFileName(const QString& title, const QString& proposedName,
                                       const QString&) {
    m_shown.append({Shown::SaveDialog, title, proposedName});
    return m_fileNames.isEmpty() ? proposedName : m_fileNames.takeFirst();
}

QString ScriptedPrompter::openFileName(const QString& title, const QString&) {
    m_shown.append({Shown::OpenDialog, title, QString()});
    return m_fileNames.isEmpty() ? QString() : m_fileNames.takeFirst();
}

QStringList ScriptedPrompter::texts() const {
    QStringList out;
    for (const Shown& s : m_shown)
        if (s.kind == Shown::Message || s.kind == Shown::Notice || s.kind == Shown::Question)
            out.append(s.text);
    return out;
}

} // namespace q7rk
