#pragma once

#include <QObject>
#include <functional>

namespace q7rk {

class CommandGate;
class PlantQueuePresenter;
class RunController;

// 退出, closing the window and the termination signals: a finished test that is not stored
// is not given up without asking, a live run is stopped as the stop button does and the
// instrument gets both result frames, and a plant retry pass ends after its piece, before
// the program goes.
class QuitGuard : public QObject {
    Q_OBJECT
public:
    QuitGuard(CommandGate& gate, RunController& run, PlantQueuePresenter& plantQueue,
              QObject* parent = nullptr)
        : QObject(parent), m_gate(gate), m_run(run), m_plantQueue(plantQueue) {}

    // True when the window may close now; otherwise quitReady follows once it may (or the
    // operator said No).
    bool mayQuit();
    // As 退出 answered Yes to every question but the save question, which nobody is there
    // to answer.
    void quitWithoutQuestions();
    // Questions are not asked once the program quits without them.
    bool silent() const { return m_silent; }
    // 退出 or closing the window, agreed to (an unsaved test was given up on the way).
    bool confirmedByOperator() const { return m_confirmed && !m_silent; }

    // The instrument has had the result frames of the stopped run.
    void resultFramesSent();
    // Emits quitReady when a confirmed quit waits for nothing any more.
    void finishWhenStopped();
    // Runs `work` (the end of a run with its save question) with the quit held: the window
    // does not close under a question, and a test the operator is asked to keep is not lost.
    void holdDuring(const std::function<void()>& work);

signals:
    void quitReady();

private:
    bool readyToGo() const;

    CommandGate& m_gate;
    RunController& m_run;
    PlantQueuePresenter& m_plantQueue;
    bool m_confirmed = false;
    bool m_silent = false;
    bool m_awaitingResultFrames = false;
    int m_holds = 0;
};

} // namespace q7rk
