#pragma once

#include "plant/PieceTrend.h"
#include "plant/PlantSource.h"

#include <QObject>
#include <atomic>
#include <memory>

namespace q7rk {

// A read of the plant's pieces for a trend, on a thread of its own with a connection of its
// own: the window stays live, hears how many rows came, and can cancel. A read still running
// when its owner goes is cancelled and ends by itself; one still running when the program
// quits is cancelled and waited for (at most the connection's waits).
class PlantTrendRead : public QObject {
    Q_OBJECT
public:
    PlantTrendRead(PlantSource source, PieceTrendRequest request, QObject* parent = nullptr);
    ~PlantTrendRead() override;

    void start();
    void cancel();
    const PieceTrendRequest& request() const { return m_request; }
    // What the read gave, once finished() was emitted.
    const PlantReply<PieceTrend>& reply() const { return m_reply; }

signals:
    void progressed(int rows);
    void finished();

private:
    struct Shared {
        std::atomic<bool> cancelled{false};
    };

    PlantSource m_source;
    PieceTrendRequest m_request;
    PlantReply<PieceTrend> m_reply;
    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
};

} // namespace q7rk
