#pragma once

#include "shell/Prompter.h"

#include <QList>
#include <QStringList>
#include <functional>
#include <initializer_list>
#include <map>
#include <utility>

namespace q7rk {

// A Prompter without a screen: it records every message and question in order, answers
// questions by their ids and file dialogs from a queue. The headless runner answers the
// operator's questions with it; tests assert the exact texts shown. A question nobody set an
// answer for is a fault of the script, never a silent No.
class ScriptedPrompter : public Prompter {
public:
    struct Shown {
        enum Kind { Message, Notice, Question, SaveDialog, OpenDialog } kind;
        QString title;
        QString text;
    };

    void inform(const QString& title, const QString& text) override;
    void notify(const QString& title, const QString& text) override;
    bool ask(QuestionKey question, const QString& title, const QString& text) override;
    std::optional<QString> askText(QuestionKey question, const QString& title,
                                   const QString& label, const QString& proposed) override;
    QString saveFileName(const QString& title, const QString& proposedName,
                         const QString& filter) override;
    QString openFileName(const QString& title, const QString& filter) override;

    // The answer to every asking of the question. An UploadPiece key without a piece answers
    // every piece that has no answer of its own.
    void setAnswer(QuestionKey question, bool yes) {
        m_answers[{question.id, question.piece}] = yes;
    }
    void setAnswer(std::initializer_list<Question> questions, bool yes) {
        for (Question q : questions)
            setAnswer(q, yes);
    }
    // The text typed at every asking of a text question; nullopt cancels it.
    void setTextAnswer(Question question, std::optional<QString> text) {
        m_textAnswers[question] = std::move(text);
    }
    // Called as each question comes up, before it is answered: a script may act at that
    // moment (take a server away halfway through an upload).
    void onAsked(std::function<void(QuestionKey)> handler) { m_asked = std::move(handler); }
    // Called for a question without an answer, which is then answered No. Without a handler
    // it is a fatal error naming the question: a test cannot pass over one it did not expect.
    void onUnanswered(std::function<void(Question, const QString& text)> handler) {
        m_unanswered = std::move(handler);
    }
    // A file name for the next dialog; an empty text cancels it. Without one, a save
    // dialog accepts its proposed name and an open dialog is cancelled.
    void queueFileName(const QString& name) { m_fileNames.append(name); }

    const QList<Shown>& shown() const { return m_shown; }
    // The texts of the messages, notices and questions only, in order.
    QStringList texts() const;
    void clear() { m_shown.clear(); }

private:
    QList<Shown> m_shown;
    std::map<std::pair<Question, int>, bool> m_answers;
    std::map<Question, std::optional<QString>> m_textAnswers;
    std::function<void(QuestionKey)> m_asked;
    std::function<void(Question, const QString&)> m_unanswered;
    QStringList m_fileNames;
};

} // namespace q7rk
