#pragma once

#include "plant/PlantSource.h"
#include "plant/PlantUploader.h"
#include "plant/QueueRetrier.h"

#include <QObject>
#include <QString>
#include <vector>

namespace q7rk {

class PlantPage;
class Prompter;

// The plant outbox as the operator sees it: how many uploads wait and how many of them are
// held, the status line, the retry passes on a thread of their own, the queue window's list
// and its removal. It owns the uploader the pieces of a save go through, so a retry pass and
// an upload never send at the same moment.
class PlantQueuePresenter : public QObject {
    Q_OBJECT
public:
    // The entries held for a value of `page` take the page's values of now when the operator
    // sends them again.
    PlantQueuePresenter(const PlantPage& page, Prompter& prompter, QObject* parent = nullptr);

    // The plant database and the queue file; the count of what waits is read again.
    void setSource(const PlantSource& source,
                   const QString& queuePath = QString::fromLatin1(UploadQueue::FileName));
    const PlantUploader& uploader() const { return m_uploader; }
    const UploadQueue& outbox() const { return m_uploader.queue(); }

    // Quiet: the automatic pass (program start) passes by the held entries. Operator: the
    // queue window's pass, held entries too.
    enum class RetryMode { Quiet, Operator };
    // Starts one pass over the waiting uploads (all, or the entries named) on a thread of its
    // own and returns at once; queueRetried follows. False when nothing was started: a pass
    // runs already, or nothing waits that the pass would send.
    bool retryQueue(RetryMode mode = RetryMode::Quiet, const std::vector<qint64>& only = {});
    bool retrying() const { return m_retrier.running(); }
    // The pass stops before its next piece (quitting); queueRetried follows.
    void cancelRetry() { m_retrier.cancel(); }
    int pendingCount() const { return m_pending.total; }
    int heldCount() const { return m_pending.held; }
    const RetryReport& lastRetry() const { return m_lastRetry; }
    // What the queue window lists, oldest first.
    PlantReply<std::vector<QueuedUpload>> queuedUploads() const {
        return m_uploader.queue().entries();
    }
    // 删除所选: asks first, naming each piece; true when they are gone.
    bool removeQueued(const std::vector<QueuedUpload>& entries);
    // One line for the status bar: the pass's progress while one runs, then its outcome,
    // otherwise what waits; empty when nothing does.
    QString queueStatus() const;
    // Something else (an upload) changed the queue: the counts and the status line follow.
    void countAgain();

signals:
    // Uploads waiting in the local queue (held ones too), whatever changed the count or the
    // number held.
    void pendingChanged(int count);
    // A retry pass sent `sent` waiting uploads and left `left` in the queue; left == 0
    // means everything that waited is now in the plant database.
    void queueRetried(int sent, int left);
    // queueStatus() changed: a pass began, moved on or ended, or the queue changed.
    void queueStatusChanged(const QString& text);

private:
    void refreshFromPage(const std::vector<qint64>& ids);
    void retryFinished();
    void showQueueStatus();

    const PlantPage& m_page;
    Prompter& m_prompter;
    PlantSource m_source;
    PlantUploader m_uploader;
    QueueCounts m_pending;
    RetryReport m_lastRetry;
    QString m_retryProgress; // while a pass runs
    QString m_retryOutcome;  // after it, until the queue changes otherwise
    QString m_shownStatus;
    // Last: its thread is joined before anything it reports to goes.
    QueueRetrier m_retrier;
};

} // namespace q7rk
