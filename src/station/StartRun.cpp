#include "station/StartRun.h"

#include "execution/RunController.h"
#include "link/ActiveLink.h"
#include "link/InstrumentLink.h"
#include "params/PanelCaptions.h"
#include "params/PanelModel.h"
#include "params/TestOnPanel.h"
#include "settings/ProgramTitle.h"
#include "settings/SampleStore.h"
#include "shell/Prompter.h"
#include "shell/ShellModel.h"

namespace q7rk {

namespace {

const QString kInfoTitle = QStringLiteral("信息提示");

constexpr Command kGroupButtons[] = {Command::RunChannels123, Command::RunChannels12,
                                     Command::RunChannel1};

} // namespace

void takeTestAtStart(const PanelModel& panel, int k, ChannelTest& test) {
    test.kind = panel.channels().kind(k);
    for (int i = 1; i <= BoxCount; ++i)
        test.takeShown(Box(i), panel.text(k, Box(i)));
    test.looksForSparks = panel.option(Option::ElectrolyteTest, groupOf(k));
}

StartRun::StartRun(ChannelModel& channels, ChannelTests& tests, PanelModel& panel,
                   ShellModel& shell, Prompter& prompter, const ActiveLink& links,
                   RunController& run, QObject* parent)
    : QObject(parent), m_channels(channels), m_tests(tests), m_panel(panel), m_shell(shell),
      m_prompter(prompter), m_links(links), m_run(run) {
    connect(&run, &RunController::runStarted, this, [this] {
        if (const auto group = m_run.stoppableGroup()) showRunning(*group);
    });
    // The buttons are back before anything is told or asked of the ended run.
    connect(&run, &RunController::runEnded, this, &StartRun::restoreButtons);
}

void StartRun::startOrStop(Command group) {
    if (RunController::lastChannelOf(group) < 0) return;
    if (m_run.stoppableGroup() == group)
        m_run.stopGroup();
    else
        start(group);
}

void StartRun::stopAll() {
    restoreButtons();
    m_run.stopAll();
}

void StartRun::start(Command group) {
    if (m_run.isRunning()) return; // the other group buttons are disabled during a run
    if (!m_links.current().isReady()) {
        m_prompter.inform(programTitle::product(), QStringLiteral("通信端口未打开！"));
        return;
    }
    m_channels.firstChannel = 0;
    m_channels.lastChannel = qint16(RunController::lastChannelOf(group));
    // The checks and the question come before anything is reset.
    if ((m_gate && !m_gate(group)) || !confirm()) {
        restoreButtons();
        return;
    }
    if (m_reset) m_reset();
    takeTests();
    // A channel outside the group keeps its results but says nothing of a test.
    for (int k = m_channels.lastChannel + 1; k < ChannelCount; ++k)
        m_shell.setStatusText(k + 1, QString());
    m_run.begin(group);
}

void StartRun::takeTests() {
    for (int k = 0; k < ChannelCount; ++k)
        takeTestAtStart(m_panel, k, m_tests[k]);
}

// The duplicate-number check and the start texts of each channel, then the question.
bool StartRun::confirm() {
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
QString StartRun::setValuesLine(int k) const {
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
QString StartRun::tooLongForTheStore(int k) const {
    const LengthAtStart length = lengthAtStart(m_panel, k);
    if (length.seconds < SampleStore::MaxSample) return {};
    const QString caption =
        length.longestBox ? plainCaption(k, *length.longestBox) : QStringLiteral("测试时间");
    return QStringLiteral("第%1路：%2过长，测试总时间不能超过%3秒")
        .arg(k + 1)
        .arg(caption)
        .arg(SampleStore::MaxSample);
}

// The group's own button now stops the run; a second stop button beside it (the 1-3 run's
// would even read the same) is one too many.
void StartRun::showRunning(Command group) {
    m_shell.setButtonCaption(group, QString::fromUtf8(commands::spec(group).stopCaption));
    m_shell.setButtonVisible(Command::StopAll, false);
    for (Command other : kGroupButtons)
        if (other != group) m_shell.setButtonEnabled(other, false);
}

void StartRun::restoreButtons() {
    m_shell.setButtonVisible(Command::StopAll, true);
    for (Command b : kGroupButtons) {
        m_shell.setButtonEnabled(b, true);
        m_shell.setButtonCaption(b, QString::fromUtf8(commands::spec(b).buttonCaption));
    }
}

} // namespace q7rk
