#include "HeadlessRun.h"

#include "execution/RunController.h"
#include "link/ActiveLink.h"
#include "link/EthernetLink.h"
#include "link/SerialLink.h"
#include "params/TestOnPanel.h"
#include "results/PanelRecord.h"
#include "results/RunConditions.h"
#include "results/SavePass.h"
#include "settings/SampleStore.h"
#include "shell/ShellModel.h"
#include "station/PieceUploadWorkflow.h"

#include <QJsonArray>
#include <cmath>
#include <cstdio>

namespace q7rk {

namespace {

// A link that does not stand within this time is given up (exit 2).
constexpr int LinkWaitMs = 10000;

} // namespace

HeadlessRun::HeadlessRun(const Options& options, QObject* parent)
    : QObject(parent), m_options(options),
      m_station(options.settingsCopy, m_prompter, options.timing) {
    m_prompter.setAnswer(Question::ConfirmStart, options.answerStart);
    m_prompter.setAnswer(Question::SaveResults, options.answerSave);
    for (int n = 1; n <= 6; ++n)
        m_prompter.setAnswer({Question::UploadPiece, n}, options.answerUpload[std::size_t(n - 1)]);
    // Set to ask once per group (uploadConfirm=once): Yes only when every piece asked about
    // is one to upload, as a single answer cannot send some and keep back others.
    for (int bits = 1; bits < pieceBit(6) * 2; ++bits) { // every set of pieces 1-6
        bool yes = true;
        for (int n = 1; n <= 6; ++n)
            if (bits & pieceBit(n)) yes = yes && options.answerUpload[std::size_t(n - 1)];
        m_prompter.setAnswer({Question::UploadPieces, bits}, yes);
    }
    // No option answers it: the script did not foresee what the program asked.
    m_prompter.onUnanswered([this](Question id, const QString& text) {
        std::fprintf(stderr, "q7rk-run: no answer to question %s: %s\n", questionName(id),
                     qPrintable(text));
        finish(Unanswered);
    });
    m_deadline.setSingleShot(true);
    m_linkDeadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &HeadlessRun::timeOut);
    connect(&m_linkDeadline, &QTimer::timeout, this, [this] { finish(NoLink); });
    // The run is over once the instrument has had both result frames.
    connect(&m_station.run(), &RunController::resultsSent, this, &HeadlessRun::runOver);
}

void HeadlessRun::terminate() {
    m_terminating = true;
    if (m_station.run().isRunning())
        m_station.quitWithoutQuestions(); // runOver follows the result frames
    else
        finish(Terminated);
}

// Out of time: a run is stopped as the stop button does, and the runner goes once the
// instrument has had both result frames.
void HeadlessRun::timeOut() {
    m_timedOut = true;
    if (m_station.run().isRunning())
        m_station.perform(Command::StopAll); // runOver follows the result frames
    else
        finish(TimedOut);
}

void HeadlessRun::runOver() {
    if (!m_options.reportPath.isEmpty()) {
        // Every group a button starts lies in channels 1-3: the first page.
        m_reportError = m_station.writeReportPdf(0, 0, m_options.reportPath);
    }
    if (m_terminating) {
        finish(Terminated);
        return;
    }
    if (m_timedOut) {
        finish(TimedOut);
        return;
    }
    switch (m_station.run().endReason()) {
    case RunController::EndReason::Finished:
    case RunController::EndReason::Stopped:
        finish(Ended);
        return;
    case RunController::EndReason::InstrumentSilent:
    case RunController::EndReason::LinkLost:
        break;
    }
    finish(LinkLost);
}

std::optional<Command> HeadlessRun::groupCommand(const QString& group) {
    if (group == QLatin1String("1-3")) return Command::RunChannels123;
    if (group == QLatin1String("1-2")) return Command::RunChannels12;
    if (group == QLatin1String("1")) return Command::RunChannel1;
    return {};
}

bool HeadlessRun::recover() {
    if (!m_options.answerRecovery) {
        const RecoveryJournal::Contents held = m_station.pendingRecovery();
        if (held.entries.isEmpty()) return true;
        std::fprintf(stderr, "q7rk-run: no answer to question %s: %s\n",
                     questionName(Question::RecoverTests),
                     qPrintable(TestRecovery::question(held.entries)));
        finish(Unanswered);
        return false;
    }
    m_prompter.setAnswer(Question::RecoverTests, *m_options.answerRecovery);
    m_recovery = m_station.offerRecovery();
    return true;
}

void HeadlessRun::begin() {
    m_station.startUp();
    if (!recover()) return;
    if (m_options.recoverOnly) {
        finish(m_station.pendingRecovery().entries.isEmpty() ? Ended : NotRecovered);
        return;
    }
    if (!m_options.foil.isEmpty()) {
        // As 打开 does: page boxes, formation voltage and test number of channels 1-3. The
        // pieces belong to the foil asked for even when the plant cannot be read now.
        const qsizetype told = m_prompter.shown().size();
        m_foilOpened = m_station.openFoil(m_options.foil);
        if (!m_foilOpened) {
            m_foilProblem =
                m_prompter.shown().size() > told
                    ? m_prompter.shown().last().text
                    : QStringLiteral("工厂数据库中没有卷号 %1 的整卷记录").arg(m_options.foil);
            for (int k = 0; k < ChannelsPerGroup; ++k)
                m_station.panel().setText(k, Box::TvTestNumber, m_options.foil);
        }
    }
    if (m_options.maxSeconds > 0) m_deadline.start(int(m_options.maxSeconds * 1000));
    connectLink();
}

void HeadlessRun::connectLink() {
    const QString link = m_options.link;
    if (link.startsWith(QLatin1String("tcp:"))) {
        const qsizetype colon = link.lastIndexOf(QLatin1Char(':'));
        const EthernetLink& ethernet = m_station.ethernetLink();
        connect(&ethernet, &EthernetLink::handshakeReplied, this, &HeadlessRun::pressStart,
                Qt::SingleShotConnection);
        connect(&ethernet, &InstrumentLink::stateChanged, this, [this, &ethernet] {
            if (ethernet.state() == EthernetLink::Closed && !m_station.run().isRunning() &&
                !m_station.activeLink().ethernetActive())
                finish(NoLink); // refused or dropped before the handshake
        });
        m_linkDeadline.start(LinkWaitMs);
        m_station.connectEthernet(link.mid(4, colon - 4), link.mid(colon + 1));
        if (ethernet.state() == EthernetLink::Closed)
            finish(NoLink); // the port text was not a number
        return;
    }
    if (link.startsWith(QLatin1String("serial:"))) {
        const SerialLink& serial = m_station.serialLink();
        connect(&serial, &SerialLink::searchFinished, this, [this](bool found) {
            if (found)
                pressStart();
            else
                finish(NoLink);
        });
        m_station.searchSerialAt(link.mid(7));
        return;
    }
    finish(BadUsage);
}

void HeadlessRun::pressStart() {
    m_linkDeadline.stop();
    if (const auto group = groupCommand(m_options.group)) m_station.perform(*group);
    if (!m_station.run().isRunning()) finish(NotStarted); // declined or refused
}

void HeadlessRun::finish(int code) {
    if (m_done) return;
    m_done = true;
    // Tests the script declined to save are given up; a signal or a question without an
    // answer leaves them in the recovery journal for the next start.
    if (!m_options.answerSave && code != Terminated && code != Unanswered)
        m_station.giveUpUnsaved();
    m_deadline.stop();
    m_linkDeadline.stop();
    emit finished(code);
}

QJsonObject HeadlessRun::report() const {
    QJsonArray status;
    for (const QString& s : m_station.shell().statusTexts())
        status.append(s);
    QJsonArray messages;
    for (const ScriptedPrompter::Shown& s : m_prompter.shown())
        if (s.kind == ScriptedPrompter::Shown::Message ||
            s.kind == ScriptedPrompter::Shown::Notice ||
            s.kind == ScriptedPrompter::Shown::Question)
            messages.append(QJsonObject{{"title", s.title}, {"text", s.text}});

    const ChannelModel& model = m_station.channels();
    const PanelModel& panel = m_station.panel();
    const SampleStore& samples = m_station.samples();
    const TestLifecycle& tests = m_station.tests();
    QJsonArray channels;
    for (int k = model.firstChannel; k <= model.lastChannel; ++k) {
        QJsonObject boxesOut;
        for (int n = 1; n <= 42; ++n)
            boxesOut.insert(boxName(textBox(n)), panel.text(k, textBox(n)));
        for (Box b : {Box::VoltageBeforeSpark1, Box::VoltageBeforeSpark2, Box::VoltageBeforeSpark3})
            boxesOut.insert(boxName(b), panel.text(k, b));
        QJsonArray volts, amps;
        // The samples the run took: the plant upload moves the shared cursor.
        for (int n = 1; n <= tests.samplesTaken(k) && n <= SampleStore::MaxSample; ++n) {
            // As shown: volts to 0.1 V, milliamperes to 0.001 mA.
            volts.append(std::round(double(samples.voltage(k, n)) * 10) / 10);
            amps.append(std::round(double(samples.current(k, n)) * 1000) / 1000);
        }
        channels.append(QJsonObject{{"channel", k + 1},
                                    {"testNumber", testNumberOf(panel, k)},
                                    {"kind", kindKey(model.kind(k))},
                                    {"stopped", m_station.runTests()[k].stopped},
                                    {"state", TestLifecycle::name(tests.state(k))},
                                    {"boxes", boxesOut},
                                    {"voltageSamples", volts},
                                    {"currentSamples", amps}});
    }
    const PlantUploadResult& upload = m_station.pieceUpload().lastUpload();
    const auto numbers = [](const QList<int>& list) {
        QJsonArray out;
        for (int n : list)
            out.append(n);
        return out;
    };
    QJsonObject out{{"sampleIndex", model.sampleIndex},
                    {"status", status},
                    {"messages", messages},
                    {"channels", channels},
                    // The save pass ran (the operator said yes) and stored the group.
                    {"saved", m_station.lastSave().ok},
                    {"uploaded", numbers(upload.uploaded)},
                    {"queued", numbers(upload.queued)},
                    {"declined", numbers(upload.declined)},
                    {"failed", numbers(upload.failed)},
                    {"withoutFoil", numbers(upload.withoutFoil)}};
    // What the link went through during the run.
    const RunConditions link = m_station.runConditions(model.firstChannel);
    out.insert("link", QJsonObject{{"endpoint", link.link},
                                   {"polls", link.polls},
                                   {"lostReplies", link.lostReplies},
                                   {"rejectedFrames", link.rejectedFrames},
                                   {"lateSamples", link.lateSamples}});
    if (!m_recovery.offered.isEmpty()) {
        QJsonArray recovered;
        for (const JournalEntry& e : m_recovery.offered)
            recovered.append(QJsonObject{{"channel", e.channel + 1},
                                         {"testNumber", e.test.testNumber()},
                                         {"kind", kindKey(e.test.kind)},
                                         {"verdict", e.verdict},
                                         {"stored", tests.state(e.channel) == TestState::Stored}});
        out.insert("recovered", recovered);
    }
    if (!m_options.foil.isEmpty()) {
        out.insert("foilOpened", m_foilOpened);
        if (!m_foilOpened) out.insert("foilProblem", m_foilProblem);
    }
    if (!m_options.reportPath.isEmpty())
        out.insert("report", QJsonObject{{"path", m_options.reportPath},
                                         {"written", m_reportError.isEmpty()},
                                         {"error", m_reportError}});
    return out;
}

} // namespace q7rk
