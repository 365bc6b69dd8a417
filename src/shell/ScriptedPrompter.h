#pragma once

#include "shell/Prompter.h"

#include <QHash>
#include <QList>
#include <QStringList>

namespace q7rk {

// A Prompter without a screen: it records every message and question in order and answers
// questions and file dialogs from queues, falling back to fixed defaults when a queue is
// empty. The headless runner answers the operator's questions with it; tests assert the
// exact texts shown.
class ScriptedPrompter : public Prompter {
public:
    struct Shown {
        enum Kind { Message, Notice, Question, SaveDialog, OpenDialog } kind;
        QString title;
        QString text;
    };

    void inform(const QString& title, const QString& text) override;
    void notify(const QString& title, const QString& text) override;
    bool ask(const QString& title, const QString& text) override;
    QString saveFileName(const QString& title, const QString& proposedName,
                         const QString& filter) override;
    QString openFileName(const QString& title, const QString& filter) override;

    void queueAnswer(bool yes) { m_answers.append(yes); }
    // A fixed answer to the questions that start with this text, ahead of the queue.
    void setAnswerFor(const QString& question, bool yes) { m_fixed.insert(question, yes); }
    void setDefaultAnswer(bool yes) { m_defaultAnswer = yes; }
    // A file name for the next dialog; an empty text cancels it. Without one, a save
    // dialog accepts its proposed name and an open dialog is cancelled.
    void queueFileName(const QString& name) { m_fileNames.append(name); }

    const QList<Shown>& shown() const { return m_shown; }
    // The texts of the messages, notices and questions only, in order.
    QStringList texts() const;
    void clear() { m_shown.clear(); }

private:
    QList<Shown> m_shown;
    QList<bool> m_answers;
    QHash<QString, bool> m_fixed;
    QStringList m_fileNames;
    bool m_defaultAnswer = false;
};

} // namespace q7rk
