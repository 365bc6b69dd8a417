#include "RunController.h"

#include "execution/Evaluator.h"
#include "execution/SamplingTick.h"
#include "kinds/TestKindDescription.h"
#include "link/ActiveLink.h"
#include "link/InstrumentLink.h"
#include "link/LastChanceResult.h"
#include "params/PanelCaptions.h"
#include "params/PanelModel.h"
#include "settings/NumberText.h"
#include "settings/ProgramTitle.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "shell/Prompter.h"
#include "shell/ShellModel.h"

#include <algorithm>
#include <array>
#include <utility>

namespace q7rk {

namespace {

const QString kInfoTitle = QStringLiteral("信息提示");
const QString kLinkTitle = programTitle::product();

// The run loop watches channels 1-3: every group the buttons start lies within them.
constexpr int WatchedChannels = 3;

// A program held up by a busy machine sends no polls either; the instrument only counts as
// mute once this many polls have gone out unanswered as well.
constexpr int UnansweredPolls = 4;

const QString kLinkLostText = QStringLiteral("与仪器的连接已断开，本次测试中断。");
const QString kSilentText = QStringLiteral("仪器没有应答，本次测试中断。");

} // namespace

// What a group button reads before a start is in the command table.
std::span<const RunController::GroupButton> RunController::groupButtons() {
    static constexpr std::array<GroupButton, 3> buttons{{
        {Command::RunChannels123, 2, "1-3测试停止", "1-3路测试开始"},
        {Command::RunChannels12, 1, "1-2测试停止", "1-2路测试开始"},
        {Command::RunChannel1, 0, "1路测试停止", "1路测试开始"},
    }};
    return buttons;
}

const RunController::GroupButton* RunController::groupButton(Command command) {
    for (const GroupButton& b : groupButtons())
        if (b.command == command) return &b;
    return nullptr;
}

RunController::RunController(ChannelModel& channels, RunStates& runs, PanelModel& panel,
                             SamplingTick& tick, Evaluator& evaluator, ShellModel& shell,
                             Prompter& prompter, SettingsStore& settings, const ActiveLink& links,
                             const Timing& timing, QObject* parent)
    : QObject(parent), m_channels(channels), m_runs(runs), m_panel(panel), m_tick(tick),
      m_evaluator(evaluator), m_shell(shell), m_prompter(prompter), m_settings(settings),
      m_links(links), m_serial(links.serialLink()), m_ethernet(links.ethernetLink()),
      m_timing(timing), m_results(channels, panel, timing) {
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

void RunController::startOrStop(Command group) {
    const GroupButton* button = groupButton(group);
    if (!button) return;
    if (button == m_stoppable)
        stopGroup(*button);
    else
        start(*button);
}

// The poll works over either link: the serial port once it is open, or an Ethernet
// connection whose handshake the instrument answered; the supervisor says which carries it.
InstrumentLink& RunController::activeLink() const {
    return m_links.current();
}

void RunController::start(const GroupButton& button) {
    if (m_running) return; // the other group buttons are disabled during a run
    if (!activeLink().isReady()) {
        m_prompter.inform(kLinkTitle, QStringLiteral("通信端口未打开！"));
        return;
    }
    m_channels.firstChannel = 0;
    m_channels.lastChannel = button.lastChannel;
    if (m_startGate && !m_startGate(button.command)) {
        restoreStartButtons();
        return;
    }
    // The checks and the question come before anything is reset: a declined or refused start
    // leaves the last test's results, charts and samples as they were.
    if (!confirmStart()) {
        restoreStartButtons();
        return;
    }
    if (m_newTestReset) m_newTestReset();

    m_stoppable = &button;
    m_shell.setButtonCaption(button.command, QString::fromUtf8(button.runningCaption));
    // The group's own button now stops the run; a second stop button beside it (the 1-3 run's
    // would even read the same) is one too many.
    m_shell.setButtonVisible(Command::StopAll, false);
    for (const GroupButton& other : groupButtons())
        if (other.command != button.command) m_shell.setButtonEnabled(other.command, false);

    for (int k = 0; k < ChannelCount; ++k) {
        const bool inGroup = k <= m_channels.lastChannel;
        m_runs[k].evaluated = !inGroup;
        m_channels.channelStopped[k] = !inGroup;
        // A channel outside the group keeps its results but says nothing of a test.
        if (inGroup)
            m_evaluator.startTexts(k);
        else
            m_shell.setStatusText(k + 1, QString());
    }
    beginRun();
}

// The duplicate-number check and the start texts of each channel, then the question.
bool RunController::confirmStart() {
    const int first = m_channels.firstChannel;
    const int last = m_channels.lastChannel;
    for (int k = first; k <= last; ++k) {
        const TestKind kind = m_channels.kind(k);
        const TestKey key = testKeyOf(m_panel, k);
        if (m_duplicate && m_duplicate(kind, key)) {
            const QString text = duplicateNumberText(kind, key);
            m_shell.setStatusText(k + 1, text);
            m_prompter.inform(kInfoTitle, text);
            return false;
        }
    }
    for (int k = first; k <= last; ++k) {
        if (const QString tooLong = tooLongForTheStore(k); !tooLong.isEmpty()) {
            m_shell.setStatusText(k + 1, tooLong);
            m_prompter.inform(kInfoTitle, tooLong);
            return false;
        }
    }
    QString question = QStringLiteral("您确定要开始运行吗？");
    if (!m_startNote.isEmpty()) question += QLatin1Char('\n') + m_startNote;
    m_startNote.clear();
    for (int k = first; k <= last; ++k)
        question += QLatin1Char('\n') + setValuesLine(k);
    if (!m_prompter.ask(Question::ConfirmStart, kInfoTitle, question)) {
        for (int k = first; k <= last; ++k)
            m_shell.setStatusText(k + 1,
                                  ShellModel::channelStatus(k, QStringLiteral("路测试关闭")));
        return false;
    }
    return true;
}

// What the instrument will be told for channel k, read before Yes: "第1路 TV：化成电压 200V，
// 测试电流 0.05mA，延迟时间 60S，水煮前".
QString RunController::setValuesLine(int k) const {
    const TestKindDescription& kind = description(m_channels.kind(k));
    QStringList items;
    const auto item = [&](Box box) {
        items << plainCaption(k, box) + QLatin1Char(' ') + m_panel.text(k, box).trimmed() +
                     unitLabel(box);
    };
    item(kind.voltageBox);
    item(kind.currentBox);
    for (Box box : kind.lengthBoxes)
        if (box != kind.firstPointBox) item(box);
    if (kind.storesBoilingMarks) {
        const int g = groupOf(k);
        items << (m_panel.option(Option::BeforeBoiling, g)  ? QStringLiteral("水煮前")
                  : m_panel.option(Option::AfterBoiling, g) ? QStringLiteral("水煮后")
                                                            : QStringLiteral("未选水煮前/后"));
    }
    return QStringLiteral("第%1路 %2：").arg(k + 1).arg(QString::fromUtf8(kind.name)) +
           items.join(QStringLiteral("，"));
}

// The store holds SampleStore::MaxSample seconds and the test is judged on the sample after
// its length: a test that cannot end inside it would run for nothing and be thrown away.
QString RunController::tooLongForTheStore(int k) const {
    const LengthAtStart length = lengthAtStart(m_panel, k);
    if (length.seconds < SampleStore::MaxSample) return {};
    const QString caption =
        length.longestBox ? plainCaption(k, *length.longestBox) : QStringLiteral("测试时间");
    return QStringLiteral("第%1路：%2过长，测试总时间不能超过%3秒")
        .arg(k + 1)
        .arg(caption)
        .arg(SampleStore::MaxSample);
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
    lastChance::arm(activeLink().descriptor(), buildResult(m_channels, m_panel),
                    m_timing.resultGapMs);
    emit runStarted();
}

void RunController::stopGroup(const GroupButton& button) {
    if (m_running) m_endReason = EndReason::Stopped;
    for (int k = 0; k <= button.lastChannel; ++k)
        m_channels.channelStopped[k] = true;
    m_stoppable = nullptr;
    m_shell.setButtonCaption(button.command, QString::fromUtf8(button.stoppedCaption));
    checkEnd();
}

void RunController::stopAll() {
    if (m_running) m_endReason = EndReason::Stopped;
    restoreStartButtons();
    for (int k = 0; k <= 3; ++k)
        m_channels.channelStopped[k] = true;
    checkEnd();
}

void RunController::restoreStartButtons() {
    m_stoppable = nullptr;
    m_shell.setButtonVisible(Command::StopAll, true);
    for (const GroupButton& b : groupButtons()) {
        m_shell.setButtonEnabled(b.command, true);
        m_shell.setButtonCaption(b.command,
                                 QString::fromUtf8(commands::spec(b.command).buttonCaption));
    }
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
    if (m_running) lastChance::update(buildResult(m_channels, m_panel));
}

void RunController::takeSample() {
    m_tick.run();
    // One pass over channels 1-3 after every sample: the values a pass reads only change
    // at ticks.
    for (int k = 0; k < WatchedChannels && m_running; ++k) {
        const bool judgedBefore = m_runs[k].evaluated;
        m_evaluator.evaluate(k);
        if (!judgedBefore && m_runs[k].evaluated) emit channelJudged(k);
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
    link.sendPoll([this] { return m_poll.build(m_channels, m_panel); });
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
        m_channels.channelStopped[k] = true;
    checkEnd();
}

void RunController::checkEnd() {
    if (!m_running) return;
    for (int k = 0; k < WatchedChannels; ++k)
        if (!m_channels.channelStopped[k]) return;
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
        lastChance::update(buildResult(m_channels, m_panel));
        lastChance::fire();
    }
    lastChance::disarm();
    m_afterResults = nullptr;
    m_results.finishNow();
}

// A channel whose test did not reach its end says so, in its status panel and in its
// verdict, which is no verdict: the instrument hears it as still pending.
void RunController::markInterrupted() {
    for (int k = m_channels.firstChannel; k <= m_channels.lastChannel; ++k) {
        if (m_runs[k].evaluated) continue;
        m_shell.setStatusText(k + 1, ShellModel::channelStatus(k, QStringLiteral("路测试中断")));
        m_panel.setText(k, description(m_channels.kind(k)).verdictBox, interruptedText());
    }
}

void RunController::endRun() {
    m_running = false;
    stopTimers();
    {
        SettingsStore::Batch batch(m_settings);
        for (int k = 0; k < ChannelCount; ++k) {
            m_runs[k].sparkCount = 0;
            auto write = [&](const char* base, float value) {
                m_settings.write(section::Canshu, indexedKey(QString::fromUtf8(base), k),
                                 exactSingleText(value));
            };
            write(key::VoltageAdjust, m_channels.voltageAdjust[k]);
            write(key::CurrentAdjust, m_channels.currentAdjust[k]);
            write(key::VoltageControl, m_channels.KV[k]);
            write(key::CurrentControl, m_channels.KI[k]);
        }
    }
    if (m_endReason != EndReason::Finished) markInterrupted();
    m_results.sendTwice();
    // The ordinary path has the link now; a descriptor kept past it could be reused.
    lastChance::disarm();
    restoreStartButtons();
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
