#include "ScriptedPrompter.h"

namespace q7rk {

void ScriptedPrompter::inform(const QString& title, const QString& text) {
    m_shown.append({Shown::Message, title, text});
}

void ScriptedPrompter::notify(const QString& title, const QString& text) {
    m_shown.append({Shown::Notice, title, text});
}

bool ScriptedPrompter::ask(const QString& title, const QString& text) {
    m_shown.append({Shown::Question, title, text});
    // A question's start is what it asks; what follows (the foil it concerns, lines that
    // explain) only adds to it. The longest fixed text the question starts with answers.
    const QString* best = nullptr;
    for (auto it = m_fixed.cbegin(); it != m_fixed.cend(); ++it)
        if (text.startsWith(it.key()) && (!best || it.key().size() > best->size()))
            best = &it.key();
    if (best) return m_fixed.value(*best);
    return m_answers.isEmpty() ? m_defaultAnswer : m_answers.takeFirst();
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
