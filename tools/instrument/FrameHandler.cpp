#include "FrameHandler.h"

#include "Calibration.h"
#include "FrameCodec.h"
#include "FrameLog.h"

namespace q7rk::instrument {

namespace {

constexpr int kShortReply = 60;

// What a noisy line puts in front of a reply: odd bytes and a header that breaks off.
const QByteArray kNoise = QByteArray::fromHex("ff00557720110655");

bool isNth(int count, int every) {
    return every > 0 && count % every == 0;
}

} // namespace

FrameHandler::FrameHandler(const Options& options, FrameLog* log)
    : model_(options.channels), faults_(options.faults), log_(log), timeScale_(options.timeScale),
      clockBySamples_(options.clockBySamples), seed_(options.seed),
      noiseVolts_(options.noiseMillivolts / 1000.0), random_(options.seed) {}

std::optional<QByteArray> FrameHandler::handle(const QByteArray& frame, qint64 wallMs) {
    if (log_) log_->write(frame);
    std::optional<QByteArray> reply = answer(frame, wallMs);
    if (!reply || faults_.silent) return std::nullopt;
    ++replies_;
    if (isNth(replies_, faults_.corruptEvery)) breakTrailer(*reply);
    if (isNth(replies_, faults_.wrongCodeEvery))
        (*reply)[kCodeByte] = char(frameCode(*reply) ^ 0x40);
    if (isNth(replies_, faults_.shortEvery)) reply->truncate(kShortReply);
    if (isNth(replies_, faults_.noiseBytesEvery)) reply->prepend(kNoise);
    return reply;
}

std::optional<QByteArray> FrameHandler::answer(const QByteArray& frame, qint64 wallMs) {
    switch (frameCode(frame)) {
    case Handshake:
        powerOff();
        return makeReply(frame);
    case Poll: {
        QByteArray reply = answerPoll(frame, wallMs);
        ++polls_;
        if (polls_ <= faults_.dropFirst) return std::nullopt;
        if (isNth(polls_, faults_.dropEvery)) return std::nullopt;
        return reply;
    }
    case Result:
        // The end of a run switches the outputs off; the command itself is not answered.
        powerOff();
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

void FrameHandler::powerOff() {
    model_.reset();
    lastPollMs_ = -1;
    lastSampleIndex_ = -1;
}

// The model runs under the previous poll's set values up to this poll. A sample index that
// goes backwards means the program started a new run: the samples start discharged.
void FrameHandler::advanceClock(const QByteArray& frame, qint64 wallMs) {
    const int sampleIndex = pollBlock(frame, 0).sampleIndex;
    if (sampleIndex < lastSampleIndex_) powerOff();
    if (clockBySamples_) {
        if (lastSampleIndex_ >= 0) model_.advance(double(sampleIndex - lastSampleIndex_));
        // Every poll of a sample sees the same noise.
        random_.seed(seed_ ^ (quint32(sampleIndex) * 2654435761u));
    } else if (lastPollMs_ >= 0 && wallMs > lastPollMs_) {
        model_.advance(double(wallMs - lastPollMs_) / 1000.0 * timeScale_);
    }
    lastSampleIndex_ = sampleIndex;
    lastPollMs_ = wallMs;
}

QByteArray FrameHandler::answerPoll(const QByteArray& frame, qint64 wallMs) {
    advanceClock(frame, wallMs);
    QByteArray reply = makeReply(frame);
    for (int k = 0; k < kChannels; ++k) {
        const PollBlock block = pollBlock(frame, k);
        const SetCalibration set = factorySetCalibration(k);
        ChannelModel& channel = model_.channel(k);
        channel.setDrive((block.control & 0x03) != 0, decodeSetVoltage(set, block.setVoltage),
                         decodeSetCurrent(set, block.setCurrent));
        const Reading r = channel.reading();
        const ReadingCodes codes =
            encodeReading(factoryMeasureCalibration(k), r.volts + noise(), r.milliamps);
        setReading(reply, k, codes.voltage, codes.current);
    }
    return reply;
}

double FrameHandler::noise() {
    if (noiseVolts_ <= 0.0) return 0.0;
    return (random_.generateDouble() * 2.0 - 1.0) * noiseVolts_;
}

} // namespace q7rk::instrument
