#include "RunController.h"

#include "execution/Evaluator.h"
#include "execution/RunEvents.h"
#include "execution/RunLog.h"
#include "execution/SamplingTick.h"
#include "link/ActiveLink.h"
#include "link/InstrumentLink.h"
#include "link/LastChanceResult.h"

#include <algorithm>
#include <array>
#include <utility>

namespace q7rk {

namespace {

// The run loop watches channels 1-3: every group the buttons start lies within them.
constexpr int WatchedChannels = 3;

// A program held up by a busy machine sends no polls either; the instrument only counts as
// mute once this many polls have gone out unanswered as well.
constexpr int UnansweredPolls = 4;

const QString kLinkLostText = QStringLiteral("与仪器的连接已断开，本次测试中断。");
const QString kSilentText = QStringLiteral("仪器没有应答，本次测试中断。");

} // namespace

int RunController::lastChannelOf(Command group) {
    switch (group) {
    case Command::RunChannels123:
        return 2;
    case Command::RunChannels12:
        return 1;
    case Command::RunChannel1:
        return 0;
    default:
        return -1;
    }
}

RunController::RunController(ChannelModel& channels, ChannelTests& tests, SamplingTick& tick,
                             Evaluator& evaluator, RunEvents& events, const ActiveLink& links,
                             const Timing& timing, QObject* parent)
    : QObject(parent), m_channels(channels), m_tests(tests), m_tick(tick), m_evaluator(evaluator),
      m_events(events), m_links(links), m_serial(links.serialLink()),
      m_ethernet(links.ethernetLink()), m_timing(timing), m_results(channels, tests, timing) {
    m_sampleTimer.setInterval(timing.tickMs);
    // A coarse timer may fire early: the samples follow the run's clock, not the timer's count.
    m_sampleTimer.setTimerType(Qt::PreciseTimer);
    m_pollTimer.setInterval(timing.pollMs);
    // The poll period is the line's budget: a coarse timer could drift a poll into the next.
    m_pollTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_sampleTimer, &QTimer::timeout, this, &RunController::onTick);
    connect(&m_pollTimer, &QTimer::timeout, this, &RunController::onPoll);

    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, &RunController::onSilence);
    for (InstrumentLink* link : {&m_serial, &m_ethernet}) {
        m_results.addLink(link);
        connect(link, &InstrumentLink::readingsReceived, this, [this, link](const RawReadings& r) {
            applyReadings(m_channels, r);
            if (link == &activeLink()) onReply();
        });
        connect(link, &InstrumentLink::instrumentSilent, this,
                [this, link] { onLinkTrouble(link, EndReason::InstrumentSilent); });
        connect(link, &InstrumentLink::linkLost, this,
                [this, link] { onLinkTrouble(link, EndReason::LinkLost); });
    }
    connect(&m_results, &ResultSender::twiceSent, this, &RunController::onResultsSent);
}

// The poll works over either link: the serial port once it is open, or an Ethernet
// connection whose handshake the instrument answered; the supervisor says which carries it.
InstrumentLink& RunController::activeLink() const {
    return m_links.current();
}

void RunController::begin(Command group) {
    const int last = lastChannelOf(group);
    if (m_running || last < 0) return;
    m_channels.firstChannel = 0;
    m_channels.lastChannel = qint16(last);
    m_stoppable = group;
    for (int k = 0; k < ChannelCount; ++k) {
        const bool inGroup = k <= last;
        m_tests[k].evaluated = !inGroup;
        m_tests[k].stopped = !inGroup;
        if (inGroup) emit m_events.channelStarted(k);
    }
    QStringList channels;
    for (int k = 0; k <= last; ++k) {
        const ChannelTest& t = m_tests[k];
        const TestKindDescription& kind = description(t.kind);
        const auto shown = [](const std::optional<double>& v) {
            return v ? QString::number(*v) : QStringLiteral("-");
        };
        channels << QStringLiteral("%1 %2 %3 V %4 mA")
                        .arg(k + 1)
                        .arg(QLatin1String(kind.key), shown(t.setValue(kind.voltageBox)),
                             shown(t.setValue(kind.currentBox)));
    }
    qCInfo(runLog).noquote() << "run of channels 1 to" << last + 1
                             << "started:" << channels.join(QStringLiteral("; "));
    beginRun();
}

void RunController::beginRun() {
    m_channels.sampleIndex = 1;
    m_running = true;
    m_endReason = EndReason::Finished;
    m_endNotice.clear();
    m_poll.reset();
    m_pollsSinceReply = 0;
    m_lateSamples = 0;
    m_runClock.start();
    m_sampleTimer.start();
    m_pollTimer.start();
    // The serial exchange counts its own time-outs; an Ethernet peer is watched here.
    if (m_links.ethernetActive()) m_watchdog.start(m_timing.silenceMs);
    // Should the program end without unwinding, the instrument still hears the end.
    lastChance::arm(activeLink().descriptor(), buildResult(m_channels, m_tests),
                    m_timing.resultGapMs);
    emit runStarted();
}

void RunController::stopGroup() {
    if (!m_stoppable) return;
    if (m_running) m_endReason = EndReason::Stopped;
    for (int k = 0; k <= lastChannelOf(*m_stoppable); ++k)
        m_tests[k].stopped = true;
    m_stoppable.reset();
    checkEnd();
}

void RunController::stopAll() {
    if (m_running) m_endReason = EndReason::Stopped;
    m_stoppable.reset();
    for (int k = 0; k <= 3; ++k)
        m_tests[k].stopped = true;
    checkEnd();
}

// The clock of a test is the wall clock: sample n is the reading at start + n seconds. A tick
// that comes late (the window's thread was busy) takes the samples it owes, from the last
// reading, which is all the link delivered meanwhile; they are counted as late.
void RunController::onTick() {
    if (!m_running) return;
    const qint64 due = (m_runClock.elapsed() + m_timing.tickMs / 2) / std::max(1, m_timing.tickMs);
    const qint64 owed = std::max<qint64>(1, due - (m_channels.sampleIndex - 1));
    for (qint64 i = 0; i < owed && m_running; ++i) {
        if (i > 0) ++m_lateSamples;
        takeSample();
    }
    if (m_running) lastChance::update(buildResult(m_channels, m_tests));
}

void RunController::takeSample() {
    m_tick.run();
    // One pass over channels 1-3 after every sample: the values a pass reads only change
    // at ticks.
    for (int k = 0; k < WatchedChannels && m_running; ++k) {
        const bool judgedBefore = m_tests[k].evaluated;
        m_evaluator.evaluate(k);
        if (!judgedBefore && m_tests[k].evaluated) emit channelJudged(k);
    }
    emit ticked(m_channels.sampleIndex - 1);
    checkEnd();
}

void RunController::onPoll() {
    if (!m_running) return;
    InstrumentLink& link = activeLink();
    if (!link.isReady()) {
        onLinkTrouble(&link, EndReason::LinkLost); // nothing left to poll
        return;
    }
    link.sendPoll([this] { return m_poll.build(m_channels, m_tests); });
    ++m_pollsSinceReply;
}

void RunController::onReply() {
    m_pollsSinceReply = 0;
    if (m_running && m_links.ethernetActive()) m_watchdog.start(m_timing.silenceMs);
}

// No reply for the whole silence time while polls went out: the instrument is gone even
// though the connection stands. The connection is closed, and the run ends as for a lost link.
void RunController::onSilence() {
    if (!m_running || !m_links.ethernetActive()) return;
    if (m_pollsSinceReply < UnansweredPolls) {
        m_watchdog.start(m_timing.pollMs);
        return;
    }
    m_endNotice = QStringLiteral("仪器停止应答：%1秒内没有收到测量数据，以太网连接已断开，"
                                 "本次测试中断。")
                      .arg(m_timing.silenceMs / 1000.0);
    // The socket may still carry the result frames: they are tried before it is closed.
    m_afterResults = [this] { m_ethernet.closeLink(); };
    stopRunningGroup(EndReason::LinkLost);
}

// A silent instrument or a lost link stops the running group, as a stop button would; only
// the link that carries the run counts.
void RunController::onLinkTrouble(InstrumentLink* link, EndReason reason) {
    if (!m_running || link != &activeLink()) return;
    if (reason == EndReason::LinkLost) {
        lastChance::disarm(); // its descriptor is closed
    } else {
        // A serial port whose replies stopped stays open for the result frames, then closes.
        m_afterResults = [link] { link->closeLink(); };
    }
    stopRunningGroup(reason);
}

void RunController::stopRunningGroup(EndReason reason) {
    m_endReason = reason;
    for (int k = 0; k <= m_channels.lastChannel; ++k)
        m_tests[k].stopped = true;
    checkEnd();
}

void RunController::checkEnd() {
    if (!m_running) return;
    for (int k = 0; k < WatchedChannels; ++k)
        if (!m_tests[k].stopped) return;
    endRun();
}

void RunController::stopThen(std::function<void()> then) {
    if (!m_running && !m_results.isPending()) {
        then();
        return;
    }
    m_afterResults = std::move(then);
    if (m_running) stopAll();
}

void RunController::stopTimers() {
    m_watchdog.stop();
    m_sampleTimer.stop();
    m_pollTimer.stop();
    m_serial.cancelPoll();
    m_ethernet.cancelPoll();
}

void RunController::shutdown() {
    const bool wasRunning = m_running;
    m_running = false;
    stopTimers();
    if (wasRunning) {
        // Nothing will turn the event loop again: both frames go now, the gap slept.
        lastChance::update(buildResult(m_channels, m_tests));
        lastChance::fire();
    }
    lastChance::disarm();
    m_afterResults = nullptr;
    m_results.finishNow();
}

// A channel whose test did not reach its end has no verdict: the instrument hears it as still
// pending.
void RunController::markInterrupted() {
    for (int k = m_channels.firstChannel; k <= m_channels.lastChannel; ++k) {
        ChannelTest& t = m_tests[k];
        if (t.evaluated) continue;
        if (t.kind == TestKind::Tv) t.reported.code = Reported::Code::Pending;
        emit m_events.interrupted(k);
    }
}

const char* RunController::endReasonName(EndReason reason) {
    static constexpr const char* names[] = {"finished", "stopped", "instrument silent",
                                            "link lost"};
    return names[int(reason)];
}

void RunController::endRun() {
    QString ended = QStringLiteral("run ended: %1 at sample %2 - %3 samples late")
                        .arg(QLatin1String(endReasonName(m_endReason)))
                        .arg(m_channels.sampleIndex)
                        .arg(m_lateSamples);
    if (!m_endNotice.isEmpty()) ended += QStringLiteral(" - ") + m_endNotice;
    qCInfo(runLog).noquote() << ended;
    m_running = false;
    m_stoppable.reset();
    stopTimers();
    if (m_endReason != EndReason::Finished) markInterrupted();
    m_results.sendTwice();
    // The ordinary path has the link now; a descriptor kept past it could be reused.
    lastChance::disarm();
    // What the operator is told and asked now (the reason, the save question) is decided by
    // the station, which knows which tests are worth keeping.
    emit runEnded();
}

void RunController::onResultsSent() {
    if (auto then = std::exchange(m_afterResults, nullptr)) then();
    emit resultsSent();
}

QString RunController::endNotice() const {
    switch (m_endReason) {
    case EndReason::Finished:
    case EndReason::Stopped:
        break;
    case EndReason::LinkLost:
        return m_endNotice.isEmpty() ? kLinkLostText : m_endNotice;
    case EndReason::InstrumentSilent:
        return kSilentText;
    }
    return {};
}

} // namespace q7rk
