#include "SoakRun.h"

#include "execution/RunController.h"
#include "link/EthernetLink.h"
#include "params/PanelModel.h"
#include "results/SavePass.h"
#include "shell/Question.h"
#include "station/PieceUploadWorkflow.h"

namespace q7rk {

namespace {

// The instrument must answer the handshake by then.
constexpr int LinkWaitMs = 10000;

QString lastSaid(const ScriptedPrompter& prompter) {
    return prompter.texts().isEmpty() ? QString() : prompter.texts().last();
}

} // namespace

SoakRun::SoakRun(const Options& options, QObject* parent)
    : QObject(parent), m_options(options), m_station(options.settings, m_prompter, options.timing),
      m_watch(QStringLiteral("groups"), options.every, options.warmUp, options.rssBoundKbPerGroup) {
    m_prompter.setAnswer({Question::ConfirmStart, Question::SaveResults, Question::UploadPiece,
                          Question::UploadPieces},
                         true);
    // Any other question means the run went where it should not: the soak stops and says so.
    m_prompter.onUnanswered([this](Question q, const QString& text) {
        finish(QStringLiteral("no answer to question %1: %2")
                   .arg(QString::fromLatin1(questionName(q)), text));
    });
    m_linkDeadline.setSingleShot(true);
    connect(&m_linkDeadline, &QTimer::timeout, this,
            [this] { finish(QStringLiteral("no instrument answered at %1").arg(m_options.link)); });
    // A group is over once the instrument has had both result frames.
    connect(&m_station.run(), &RunController::resultsSent, this, &SoakRun::groupOver);
}

void SoakRun::begin() {
    m_station.startUp();
    const QString& link = m_options.link;
    const qsizetype colon = link.lastIndexOf(QLatin1Char(':'));
    if (!link.startsWith(QLatin1String("tcp:")) || colon < 4)
        return finish(QStringLiteral("the link must read tcp:HOST:PORT"));
    connect(&m_station.ethernetLink(), &EthernetLink::handshakeReplied, this, &SoakRun::nextGroup,
            Qt::SingleShotConnection);
    m_linkDeadline.start(LinkWaitMs);
    m_station.connectEthernet(link.mid(4, colon - 4), link.mid(colon + 1));
}

void SoakRun::nextGroup() {
    m_linkDeadline.stop();
    if (m_done) return;
    if (m_group == m_options.groups) return finish({});
    ++m_group;
    PanelModel& panel = m_station.panel();
    for (int k = 0; k < ChannelsPerGroup; ++k) {
        panel.setText(
            k, Box::TvTestNumber,
            QStringLiteral("%1%2%3").arg(m_options.prefix).arg(m_group).arg(QChar('A' + k)));
        if (panel.text(k, Box::TvOperator).isEmpty())
            panel.setText(k, Box::TvOperator, QStringLiteral("耐久"));
    }
    // What was said for the last group is of no more use; kept, it would grow for weeks.
    m_prompter.clear();
    m_station.perform(Command::RunChannels123);
    if (!m_station.run().isRunning())
        finish(QStringLiteral("group %1 did not start: %2").arg(m_group).arg(lastSaid(m_prompter)));
}

void SoakRun::groupOver() {
    if (m_done) return;
    if (m_station.run().endReason() != RunController::EndReason::Finished)
        return finish(
            QStringLiteral("group %1 ended early: %2").arg(m_group).arg(lastSaid(m_prompter)));
    if (!m_station.lastSave().ok)
        return finish(
            QStringLiteral("group %1 was not saved: %2").arg(m_group).arg(lastSaid(m_prompter)));
    const PlantUploadResult& upload = m_station.pieceUpload().lastUpload();
    if (!upload.failed.isEmpty())
        return finish(QStringLiteral("group %1: pieces neither stored nor queued: %2")
                          .arg(m_group)
                          .arg(upload.message));
    m_uploaded += int(upload.uploaded.size());
    m_queued += int(upload.queued.size());
    m_watch.note(m_group);
    // Not from inside the run's own signal: the next start begins from the event loop.
    QTimer::singleShot(0, this, &SoakRun::nextGroup);
}

void SoakRun::finish(const QString& problem) {
    if (m_done) return;
    m_done = true;
    m_linkDeadline.stop();
    emit finished(problem);
}

} // namespace q7rk
