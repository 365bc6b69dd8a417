#include "RunConditionsRecorder.h"

#include "execution/RunController.h"
#include "link/ActiveLink.h"
#include "link/InstrumentLink.h"
#include "settings/NumberText.h"
#include "version/Version.h"

namespace q7rk {

namespace {

// The factor as the settings keep it, so the stored value reads as the setting does.
double factor(float value) {
    return exactSingleText(value).toDouble();
}

} // namespace

RunConditionsRecorder::RunConditionsRecorder(const RunController& run, const ActiveLink& links,
                                             const ChannelModel& channels, QObject* parent)
    : QObject(parent), m_run(run), m_links(links), m_channels(channels) {
    connect(&run, &RunController::runStarted, this, &RunConditionsRecorder::started);
    // Before the station's own handler, which may save at once.
    connect(&run, &RunController::runEnded, this, &RunConditionsRecorder::ended);
    for (const InstrumentLink* link : {&links.serialLink(), &links.ethernetLink()}) {
        connect(link, &InstrumentLink::pollSent, this,
                [this, link] { count(*link, &RunConditions::polls); });
        connect(link, &InstrumentLink::replyLost, this,
                [this, link] { count(*link, &RunConditions::lostReplies); });
        connect(link, &InstrumentLink::replyRejected, this,
                [this, link] { count(*link, &RunConditions::rejectedFrames); });
    }
}

void RunConditionsRecorder::started() {
    m_recovered = {};
    m_last = RunConditions{};
    m_last.link = m_links.current().endpoint();
    m_last.version = QString::fromLatin1(version::Number);
    m_last.started = QDateTime::currentDateTime();
}

void RunConditionsRecorder::ended() {
    m_last.ended = QDateTime::currentDateTime();
    m_last.lateSamples = m_run.lateSamples();
    for (int k = 0; k < ChannelCount; ++k)
        m_factors[std::size_t(k)] = factorsNow(k);
}

RunConditions RunConditionsRecorder::factorsNow(int k) const {
    RunConditions c;
    c.voltageAdjust = factor(m_channels.voltageAdjust[k]);
    c.currentAdjust = factor(m_channels.currentAdjust[k]);
    c.voltageControl = factor(m_channels.KV[k]);
    c.currentControl = factor(m_channels.KI[k]);
    return c;
}

void RunConditionsRecorder::count(const InstrumentLink& link, qint64 RunConditions::*counter) {
    if (m_run.isRunning() && &link == &m_links.current()) ++(m_last.*counter);
}

RunConditions RunConditionsRecorder::conditionsOf(int channel) const {
    if (const auto& recovered = m_recovered[std::size_t(channel)]) return *recovered;
    RunConditions c = m_last;
    // During the run, so far: the factors as they stand and the run's end not yet come.
    const bool running = m_run.isRunning();
    const RunConditions f = running ? factorsNow(channel) : m_factors[std::size_t(channel)];
    c.voltageAdjust = f.voltageAdjust;
    c.currentAdjust = f.currentAdjust;
    c.voltageControl = f.voltageControl;
    c.currentControl = f.currentControl;
    if (running) c.ended = QDateTime::currentDateTime();
    return c;
}

void RunConditionsRecorder::recovered(int channel, const std::optional<RunConditions>& c) {
    m_recovered[std::size_t(channel)] = c;
}

} // namespace q7rk
