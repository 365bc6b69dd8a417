#include "PlantQueuePresenter.h"

#include "plant/PlantInput.h"
#include "plant/PlantPage.h"
#include "plant/PlantTexts.h"
#include "settings/ProgramTitle.h"
#include "shell/Prompter.h"

#include <QStringList>
#include <algorithm>

namespace q7rk {

PlantQueuePresenter::PlantQueuePresenter(const PlantPage& page, Prompter& prompter, QObject* parent)
    : QObject(parent), m_page(page), m_prompter(prompter), m_source(page.source()),
      m_uploader(m_source) {
    connect(&m_retrier, &QueueRetrier::progress, this, [this](int done, int total) {
        m_retryProgress = plantTexts::retrying(done, total);
        showQueueStatus();
    });
    connect(&m_retrier, &QueueRetrier::finished, this, &PlantQueuePresenter::retryFinished);
}

void PlantQueuePresenter::setSource(const PlantSource& source, const QString& queuePath) {
    m_source = source;
    m_uploader = PlantUploader(source, queuePath, m_uploader.sendLock());
    countAgain();
}

// Entries held for a value of the page (a lab cell, a whole-roll box) take the page's values
// of now when the operator sends them again and the page still shows their foil: a box
// corrected on the page mends the entry.
void PlantQueuePresenter::refreshFromPage(const std::vector<qint64>& ids) {
    const auto listed = m_uploader.queue().entries();
    if (!listed.ok()) return;
    const QString serial = trimBlanks(m_page.text(FoilBox::Serial));
    const std::optional<FoilRecord> foil = m_page.heldFoil(serial);
    for (const QueuedUpload& e : listed.value) {
        if (e.state != OutboxState::Held || e.piece.serial != serial ||
            (!ids.empty() && std::ranges::find(ids, e.id) == ids.end()))
            continue;
        PieceUpload piece = e.piece;
        piece.cells = m_page.grid().cells(piece.curveNumber);
        if (piece.writesFoil() || (foil && (piece.curveNumber == 1 || piece.curveNumber == 4)))
            piece.foil = foil;
        if (piece != e.piece) m_uploader.queue().replacePiece(e.id, piece);
    }
}

bool PlantQueuePresenter::retryQueue(RetryMode mode, const std::vector<qint64>& only) {
    if (m_retrier.running()) return false;
    countAgain();
    // Nothing the pass would send: no connection, and no queue file made where none was.
    const int sendable = !only.empty()                 ? int(only.size())
                         : mode == RetryMode::Operator ? m_pending.total
                                                       : m_pending.total - m_pending.held;
    if (sendable == 0) {
        m_lastRetry = RetryReport{};
        if (mode == RetryMode::Operator) {
            m_retryOutcome = plantTexts::nothingWaiting();
            showQueueStatus();
        }
        return false;
    }
    if (mode == RetryMode::Operator) refreshFromPage(only);
    const RetryChoice choice{mode == RetryMode::Operator, only};
    if (!m_retrier.start(m_source, m_uploader.queue().path(), choice, m_uploader.sendLock()))
        return false;
    m_retryProgress = plantTexts::retrying(0, sendable);
    showQueueStatus();
    return true;
}

void PlantQueuePresenter::retryFinished() {
    m_lastRetry = m_retrier.report();
    m_retryProgress.clear();
    countAgain();
    const RetryReport& r = m_lastRetry;
    // A queue file that cannot be read leaves no count worth telling.
    m_retryOutcome = r.status.fault == PlantFault::LocalStore
                         ? r.status.message
                         : plantTexts::retried(int(r.uploaded.size()), r.left - r.held, r.held);
    showQueueStatus();
    emit queueRetried(int(r.uploaded.size()), r.left);
}

bool PlantQueuePresenter::removeQueued(const std::vector<QueuedUpload>& entries) {
    QStringList pieces;
    for (const QueuedUpload& e : entries)
        pieces << plantTexts::queuedPiece(e.piece.serial, e.piece.curveNumber);
    if (pieces.isEmpty() ||
        !m_prompter.ask(Question::RemoveQueuedUpload, plantTexts::questionTitle(),
                        plantTexts::removeQueuedQuestion(pieces.join(QStringLiteral("、")))))
        return false;
    PlantStatus removed;
    for (const QueuedUpload& e : entries)
        if (removed.ok()) removed = m_uploader.queue().remove(e.id);
    countAgain();
    if (!removed.ok()) m_prompter.inform(programTitle::full(), removed.message);
    return removed.ok();
}

QString PlantQueuePresenter::queueStatus() const {
    if (!m_retryProgress.isEmpty()) return m_retryProgress;
    if (!m_retryOutcome.isEmpty()) return m_retryOutcome;
    return m_pending.total > 0 ? plantTexts::pendingUploads(m_pending.total, m_pending.held)
                               : QString();
}

void PlantQueuePresenter::showQueueStatus() {
    const QString text = queueStatus();
    if (text == m_shownStatus) return;
    m_shownStatus = text;
    emit queueStatusChanged(text);
}

void PlantQueuePresenter::countAgain() {
    const auto waiting = m_uploader.queue().counts();
    if (!waiting.ok() ||
        (waiting.value.total == m_pending.total && waiting.value.held == m_pending.held))
        return;
    m_pending = waiting.value;
    // The queue changed since the last pass: its outcome is no longer what waits.
    m_retryOutcome.clear();
    emit pendingChanged(m_pending.total);
    showQueueStatus();
}

} // namespace q7rk
