#pragma once

#include "settings/Timing.h"
#include "shell/ScriptedPrompter.h"
#include "station/Station.h"

#include <QJsonObject>
#include <QObject>
#include <QTimer>
#include <array>
#include <optional>

namespace q7rk {

// One group run without a window: the station the window holds, a scripted operator, a link made
// from a "tcp:HOST:PORT" or "serial:DEVICE" text, the group button pressed once, and a JSON report
// of what the operator would have seen.
class HeadlessRun : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString settingsCopy; // the runner's own copy of the settings file
        QString link;         // tcp:HOST:PORT or serial:DEVICE
        QString group;        // 1-3, 1-2 or 1
        Timing timing;
        bool answerStart = true;
        bool answerSave = false;
        std::array<bool, 6> answerUpload{}; // UploadPiece of piece n at n - 1 (and UploadPieces)
        QString foil;          // opened from the plant database before the run; the group's number
        double maxSeconds = 0; // 0: no limit
        QString reportPath;    // a PDF of the group's report after the run; empty: none
        // The answer to the recovery question, when the journal holds tests of an earlier
        // run; without one such a journal ends the runner as an unanswered question.
        std::optional<bool> answerRecovery;
        bool recoverOnly = false; // --recover: the journal, then exit
    };
    // The exit code says how the run went, so a script can tell a finished test apart.
    enum Exit {
        Ended = 0,        // every channel of the group reached its end
        NoLink = 2,       // no instrument answered
        NotStarted = 3,   // the start was declined or refused (number taken, nothing to run)
        LinkLost = 4,     // the link went away or the instrument fell silent during the run
        TimedOut = 5,     // --max-seconds ran out
        Terminated = 6,   // SIGTERM, SIGINT, SIGHUP or SIGQUIT: a run was stopped and the
                          // instrument told so
        NotRecovered = 1, // --recover: tests stay in the journal (the save refused or failed)
        BadUsage = 64,
        Unanswered = 64 // the program asked a question no --answer-* option answers
    };

    explicit HeadlessRun(const Options& options, QObject* parent = nullptr);

    // Starts connecting; finished(code) follows.
    void begin();
    // SIGTERM, SIGINT, SIGHUP or SIGQUIT: a run is stopped as the stop button does and the
    // instrument gets its result frames before finished(Terminated).
    void terminate();
    QJsonObject report() const;
    Station& station() { return m_station; }

    // "1-3" -> Command::RunChannels123; empty when unknown.
    static std::optional<Command> groupCommand(const QString& group);

signals:
    void finished(int exitCode);

private:
    void connectLink();
    void pressStart();
    void runOver();
    void timeOut();
    void finish(int code);
    // The journal of an earlier run: false when the runner must end (the question has no
    // answer).
    bool recover();

    Options m_options;
    QString m_reportError;
    ScriptedPrompter m_prompter;
    Station m_station;
    QTimer m_deadline;
    QTimer m_linkDeadline;
    bool m_done = false;
    bool m_terminating = false;
    bool m_timedOut = false;
    bool m_foilOpened = false;
    QString m_foilProblem; // why the foil could not be opened
    TestRecovery::Outcome m_recovery;
};

} // namespace q7rk
