#include "SaveWorkflow.h"

#include "kinds/TestKindDescription.h"
#include "params/PanelModel.h"
#include "plant/PlantInput.h"

#include "execution/RunController.h"
#include "params/TestOnPanel.h"
#include "results/ResultStore.h"
#include "results/ResultTexts.h"
#include "results/ResultsLog.h"
#include "settings/ChannelModel.h"
#include "settings/ProgramTitle.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "shell/Prompter.h"
#include "shell/ShellModel.h"
#include "station/CommandGate.h"
#include "station/LinkTexts.h"
#include "station/PieceUploadWorkflow.h"
#include "station/RunConditionsRecorder.h"
#include "station/TestLifecycle.h"

#include <algorithm>
#include <map>
#include <memory>

namespace q7rk {

namespace {

// "第1、2路" for channels 0 and 1.
QString channelList(const QList<int>& channels) {
    QStringList numbers;
    for (int k : channels)
        numbers << QString::number(k + 1);
    return QStringLiteral("第") + numbers.join(QStringLiteral("、")) + QStringLiteral("路");
}

} // namespace

SaveWorkflow::SaveWorkflow(const Parts& parts, QObject* parent)
    : QObject(parent), m_parts(parts), m_savePass(parts.results) {}

void SaveWorkflow::runStarted() {
    m_savePass.newRun();
    m_lastSave = SaveReport{};
}

// A judged channel's test is worth keeping; one the run left unjudged is not a result. The
// operator hears why the run ended and is asked about saving in one dialog, never two stacked.
void SaveWorkflow::runEnded(bool silently) {
    TestLifecycle& tests = m_parts.tests;
    const ChannelModel& channels = m_parts.channels;
    tests.runEnded();
    const QList<int> finished = tests.unsaved(channels.firstChannel, channels.lastChannel);
    QList<int> interrupted;
    for (int k = channels.firstChannel; k <= channels.lastChannel; ++k)
        if (tests.state(k) == TestState::Interrupted) interrupted << k;
    const QString notice = m_parts.run.endNotice();
    if (silently) return;
    if (finished.isEmpty()) {
        if (!notice.isEmpty()) m_parts.prompter.notify(linktexts::connectTitle(), notice);
        return;
    }
    QString question = QStringLiteral("测试结束，需要保存吗？");
    if (!notice.isEmpty()) question += QLatin1Char('\n') + notice;
    if (!interrupted.isEmpty())
        question +=
            QLatin1Char('\n') + channelList(interrupted) + QStringLiteral("测试未完成，不会保存。");
    if (m_parts.prompter.ask(Question::SaveResults, resulttext::infoTitle(), question)) save();
}

// The note that pieces did not reach the plant goes once the queue has sent them all,
// unless a piece was refused (it never will).
void SaveWorkflow::plantQueueRetried(int left) {
    if (left == 0 && m_parts.pieceUpload.lastUpload().failed.isEmpty() && !m_savedStatus.isEmpty())
        m_parts.shell.setStatusText(ShellModel::SavePanel, m_savedStatus);
}

bool SaveWorkflow::save() {
    if (!m_parts.gate.permits(Command::Save)) return false;
    TestLifecycle& tests = m_parts.tests;
    PieceUploadWorkflow& pieceUpload = m_parts.pieceUpload;
    // Only what the last run finished and nothing has stored: never a recalled test, never
    // one the run cut short, never the same test twice.
    QList<SaveRequest> requests;
    // A TV test goes into the plant outbox with its save, before any question: a program
    // that goes between the two loses neither.
    std::map<int, std::pair<RunPiece, std::shared_ptr<qint64>>> outboxed;
    // The pieces go under channel 1's number and the boiling option of channels 1-3 now.
    const QString serial = trimBlanks(m_parts.panel.text(0, Box::TvTestNumber));
    const bool afterBoiling = m_parts.panel.option(Option::AfterBoiling, 0);
    for (int k : tests.unsaved()) {
        SaveRequest request{k, tests[k].measured, m_parts.conditions.conditionsOf(k)};
        if (description(request.measured.kind).uploadedToPlant) {
            auto& [piece, id] = outboxed[k];
            piece = takeRunPiece(request.measured, k, serial, afterBoiling);
            id = std::make_shared<qint64>(0);
            const UploadQueue::WithSave write = pieceUpload.outboxWrite(piece, id);
            request.companion = {write.path, write.write};
        }
        requests << request;
    }
    // Pieces an earlier 保存 of this run did not send are offered again.
    QList<RunPiece> pieces;
    for (int k : tests.unsentPieces())
        pieces << tests[k].piece;
    int storedNow = 0;
    if (!requests.isEmpty()) {
        m_lastSave = m_savePass.run(m_parts.panel, requests);
        storedNow = m_lastSave.stored;
        QStringList stored, files;
        for (int k : std::as_const(m_lastSave.storedChannels))
            stored << QStringLiteral("%1 %2").arg(k + 1).arg(testNumberOf(m_parts.panel, k));
        for (const SaveRequest& r : std::as_const(requests))
            if (const QString file = m_parts.results.locateDbFile(r.measured.kind);
                !files.contains(file))
                files << file;
        QString logged = QStringLiteral("save into %1: %2 of %3 stored")
                             .arg(files.join(", "))
                             .arg(storedNow)
                             .arg(requests.size());
        if (!stored.isEmpty())
            logged += QStringLiteral(" (channel, number: %1)").arg(stored.join(", "));
        if (!m_lastSave.message.isEmpty()) logged += " - " + m_lastSave.message.simplified();
        qCInfo(resultsLog).noquote() << logged;
        for (int k : std::as_const(m_lastSave.storedChannels))
            tests.stored(k);
        QString told = m_lastSave.message;
        if (!m_lastSave.warning.isEmpty())
            told += (told.isEmpty() ? QString() : QStringLiteral("\n")) + m_lastSave.warning;
        if (!told.isEmpty()) m_parts.prompter.inform(programTitle::full(), told);
        // A box the operator left empty is shown, so the next 保存 can follow at once.
        if (m_lastSave.firstMissing)
            emit missingBoxShown(m_lastSave.firstMissing->channel, m_lastSave.firstMissing->box);
        for (int k : std::as_const(m_lastSave.storedChannels))
            if (const auto it = outboxed.find(k); it != outboxed.end()) {
                RunPiece piece = it->second.first;
                piece.outboxId = *it->second.second;
                pieces << piece;
            }
    }
    // A refused pass offers nothing: the operator corrects the boxes and saves again.
    if (storedNow == 0 && (pieces.isEmpty() || !m_lastSave.ok)) return m_lastSave.ok;
    // Stored locally first; then the TV results go to the plant. An upload that cannot go
    // now waits in the local queue, and the operator sees that it did not reach the plant.
    std::sort(pieces.begin(), pieces.end(),
              [](const RunPiece& a, const RunPiece& b) { return a.curveNumber < b.curveNumber; });
    QString plantNote;
    if (!pieces.isEmpty()) {
        const PlantUploadResult& upload = pieceUpload.upload(pieces);
        for (const PieceOutcome& o : upload.pieces) {
            const auto it = std::find_if(pieces.begin(), pieces.end(),
                                         [&](const RunPiece& p) { return p.channel == o.channel; });
            const PieceState state = o.fate == PieceFate::Stored   ? PieceState::Sent
                                     : o.fate == PieceFate::Queued ? PieceState::Queued
                                                                   : PieceState::NotSent;
            tests.pieceOffered(o.channel, *it, state);
        }
        if (!upload.queued.isEmpty() || !upload.failed.isEmpty())
            plantNote = QStringLiteral("；") + upload.message.section(QLatin1Char('\n'), 0, 0);
    }
    if (storedNow > 0) {
        // The count is what really went into the files.
        m_parts.settings.write(section::Canshu, QStringLiteral("存储运行标志"),
                               QString::number(storedNow));
        m_savedStatus = resulttext::savedCount(storedNow);
    }
    m_parts.shell.setStatusText(ShellModel::SavePanel, m_savedStatus + plantNote);
    return m_lastSave.ok;
}

} // namespace q7rk
