#pragma once

#include "shell/Question.h"

#include <QLoggingCategory>
#include <QString>
#include <optional>

namespace q7rk {

// "q7rk.ui": what the window told and asked the operator and the answers, and each new text
// of the status bar (info), entries the panel refused (debug). Never what the operator typed
// into a question.
Q_DECLARE_LOGGING_CATEGORY(uiLog)

namespace uilog {

// The lines, written here and read back by 消息记录.
void told(const QString& title, const QString& text, bool waits);
void asked(QuestionKey question, const QString& text, bool yes);
void askedForLine(QuestionKey question, bool answered);
// `place`: the panel's objectName ("panel7"); an empty text (a panel cleared) is not logged.
void status(const QString& place, const QString& text);

// One logged line as the operator saw it.
struct Shown {
    enum Kind { Message, Question, Status } kind;
    QString text;
};
// The line's text (what follows "q7rk.ui: "); nullopt for lines of other kinds.
std::optional<Shown> shownOf(const QString& logText);
// 消息, 提问, 状态
QString kindName(Shown::Kind kind);

} // namespace uilog

} // namespace q7rk
