#pragma once

#include "plant/PlantSource.h"
#include "plant/PlantUploader.h"

#include <QObject>
#include <atomic>
#include <memory>

#include <QThread>

namespace q7rk {

// Runs one retry pass at a time on a thread of its own, so the window stays live while a
// server that cannot be reached takes its time-outs. The pass makes its own uploader on that
// thread: the plant and queue connections are made and used there alone. Progress and the
// end arrive as queued signals on the thread that owns this object.
class QueueRetrier : public QObject {
    Q_OBJECT
public:
    explicit QueueRetrier(QObject* parent = nullptr);
    // Stops the pass at the next piece and waits for the piece being sent: no entry is lost,
    // none is sent twice.
    ~QueueRetrier() override;

    // False when a pass runs already (the request is dropped).
    bool start(const PlantSource& source, const QString& queuePath, const RetryChoice& choice,
               std::shared_ptr<std::mutex> sendLock);
    bool running() const { return bool(m_thread); }
    // The pass stops before its next piece; finished follows.
    void cancel() { m_cancel = true; }
    // What the last pass did, once finished has come.
    const RetryReport& report() const { return m_report; }

signals:
    // Before each piece: `done` of `total` pieces dealt with.
    void progress(int done, int total);
    void finished();

private:
    void joined();

    std::unique_ptr<QThread> m_thread;
    std::atomic<bool> m_cancel{false};
    RetryReport m_report; // written by the pass, read after its thread has ended
};

} // namespace q7rk
