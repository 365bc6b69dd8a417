#include "QuitGuard.h"

#include "execution/RunController.h"
#include "plant/PlantQueuePresenter.h"
#include "station/CommandGate.h"

namespace q7rk {

bool QuitGuard::mayQuit() {
    if (m_confirmed) return readyToGo();
    if (!m_gate.permits(Command::Quit)) return false;
    m_confirmed = true;
    // A retry pass ends after the piece it is sending; the window closes when it has.
    m_plantQueue.cancelRetry();
    if (!m_run.isRunning()) return !m_plantQueue.retrying();
    // The instrument is driving the channels: it hears the end of the test before the
    // program goes, as at the end of any run.
    m_awaitingResultFrames = true;
    m_run.stopAll();
    return false;
}

void QuitGuard::quitWithoutQuestions() {
    m_confirmed = true;
    m_silent = true;
    m_plantQueue.cancelRetry();
    if (m_run.isRunning()) {
        m_awaitingResultFrames = true;
        m_run.stopAll();
        return;
    }
    finishWhenStopped();
}

void QuitGuard::resultFramesSent() {
    m_awaitingResultFrames = false;
    finishWhenStopped();
}

bool QuitGuard::readyToGo() const {
    return !m_run.isRunning() && !m_awaitingResultFrames && !m_plantQueue.retrying() &&
           m_holds == 0;
}

void QuitGuard::finishWhenStopped() {
    if (m_confirmed && readyToGo()) emit quitReady();
}

void QuitGuard::holdDuring(const std::function<void()>& work) {
    ++m_holds;
    work();
    --m_holds;
    finishWhenStopped();
}

} // namespace q7rk
