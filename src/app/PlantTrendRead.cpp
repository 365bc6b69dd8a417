#include "app/PlantTrendRead.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

namespace q7rk {

PlantTrendRead::PlantTrendRead(PlantSource source, PieceTrendRequest request, QObject* parent)
    : QObject(parent), m_source(std::move(source)), m_request(std::move(request)) {}

PlantTrendRead::~PlantTrendRead() {
    cancel();
}

void PlantTrendRead::cancel() {
    m_shared->cancelled = true;
}

void PlantTrendRead::start() {
    const QPointer<PlantTrendRead> self(this);
    auto* thread =
        QThread::create([self, shared = m_shared, source = m_source, request = m_request] {
            PlantReply<PieceTrend> reply;
            {
                PlantConnection connection(source, PlantLogin::Own);
                reply = readPieceTrend(connection, request, [&](int rows) {
                    // Told on the window's thread, where the pointer is looked at.
                    QMetaObject::invokeMethod(
                        qApp,
                        [self, rows] {
                            if (self) emit self->progressed(rows);
                        },
                        Qt::QueuedConnection);
                    return !shared->cancelled.load();
                });
            }
            QMetaObject::invokeMethod(
                qApp,
                [self, reply = std::move(reply)]() mutable {
                    if (!self) return;
                    self->m_reply = std::move(reply);
                    emit self->finished();
                },
                Qt::QueuedConnection);
        });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    // The program does not end under a read: it is told to stop and waited for.
    connect(qApp, &QCoreApplication::aboutToQuit, thread, [thread, shared = m_shared] {
        shared->cancelled = true;
        thread->wait();
    });
    thread->start();
}

} // namespace q7rk
