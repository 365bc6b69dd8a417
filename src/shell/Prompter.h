#pragma once

#include "shell/Question.h"

#include <QString>
#include <optional>

namespace q7rk {

// Every message box, question and file dialog of the program goes through here. The window
// shows real dialogs; the headless runner and the tests answer from a script and keep what
// was shown.
class Prompter {
public:
    virtual ~Prompter() = default;
    // A message with an OK button; it waits for the operator.
    virtual void inform(const QString& title, const QString& text) = 0;
    // A message that does not wait: for what can arrive while a run's timers are live, where
    // a modal box would hold up everything behind it.
    virtual void notify(const QString& title, const QString& text) = 0;
    // A Yes/No question; true for Yes. The window shows the text; scripted answers go by the
    // question's id.
    virtual bool ask(QuestionKey question, const QString& title, const QString& text) = 0;
    // A line the operator types (a name), starting from `proposed`; nullopt when cancelled.
    virtual std::optional<QString> askText(QuestionKey question, const QString& title,
                                           const QString& label, const QString& proposed) = 0;
    // A save dialog proposing `proposedName`; empty when cancelled.
    virtual QString saveFileName(const QString& title, const QString& proposedName,
                                 const QString& filter) = 0;
    // An open dialog; empty when cancelled.
    virtual QString openFileName(const QString& title, const QString& filter) = 0;
};

} // namespace q7rk
