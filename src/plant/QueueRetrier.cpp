#include "QueueRetrier.h"

namespace q7rk {

QueueRetrier::QueueRetrier(QObject* parent) : QObject(parent) {}

QueueRetrier::~QueueRetrier() {
    if (!m_thread) return;
    m_cancel = true;
    m_thread->wait();
}

bool QueueRetrier::start(const PlantSource& source, const QString& queuePath,
                         const RetryChoice& choice, std::shared_ptr<std::mutex> sendLock) {
    if (m_thread) return false;
    m_cancel = false;
    m_thread.reset(QThread::create([this, source, queuePath, choice, lock = std::move(sendLock)] {
        const PlantUploader uploader(source, queuePath, lock);
        m_report = uploader.retry(choice, [this](int done, int total) {
            emit progress(done, total);
            return !m_cancel;
        });
    }));
    // Emitted on the pass's thread once the pass is over; handled here, after it.
    connect(m_thread.get(), &QThread::finished, this, &QueueRetrier::joined, Qt::QueuedConnection);
    m_thread->start();
    return true;
}

void QueueRetrier::joined() {
    m_thread->wait(); // returns at once: the thread said it has finished
    m_thread.reset();
    emit finished();
}

} // namespace q7rk
