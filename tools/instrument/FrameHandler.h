#pragma once

#include "InstrumentModel.h"
#include "Options.h"

#include <QByteArray>
#include <QRandomGenerator>

#include <optional>

namespace q7rk::instrument {

class FrameLog;

// The instrument's answer to each received frame, with the fault switches applied. Knows
// nothing of the transport; the caller gives the wall-clock time of arrival.
class FrameHandler {
public:
    FrameHandler(const Options& options, FrameLog* log);
    FrameLog* log() const { return log_; }

    std::optional<QByteArray> handle(const QByteArray& frame, qint64 wallMs);
    const InstrumentModel& model() const { return model_; }

private:
    std::optional<QByteArray> answer(const QByteArray& frame, qint64 wallMs);
    QByteArray answerPoll(const QByteArray& frame, qint64 wallMs);
    void advanceClock(const QByteArray& frame, qint64 wallMs);
    void powerOff();
    double noise();

    InstrumentModel model_;
    Faults faults_;
    FrameLog* log_;
    double timeScale_;
    bool clockBySamples_;
    quint32 seed_;
    double noiseVolts_;
    QRandomGenerator random_;
    qint64 lastPollMs_ = -1;
    int lastSampleIndex_ = -1;
    int polls_ = 0;
    int replies_ = 0;
};

} // namespace q7rk::instrument
