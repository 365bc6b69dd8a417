#include "FrameCodec.h"

#include <algorithm>

namespace q7rk::instrument {

namespace {

constexpr char kHeader[kHeaderSize] = {0x77, 0x20, 0x11, 0x06, 0x07, 0x05};
constexpr char kTrailer[3] = {0x0F, char(0xF0), char(0x86)};

int blockStart(int channel) {
    return 8 + 16 * channel;
}

} // namespace

QByteArray frameHeader() {
    return QByteArray(kHeader, kHeaderSize);
}

QByteArray frameTrailer() {
    return QByteArray(kTrailer, 3);
}

quint8 frameCode(const QByteArray& frame) {
    return quint8(frame.at(kCodeByte));
}

bool hasTrailer(const QByteArray& frame) {
    return frame.size() >= kFrameSize && frame.mid(kTrailerByte, 3) == frameTrailer();
}

quint16 field(const QByteArray& frame, int offset) {
    return quint16(quint8(frame.at(offset)) << 8 | quint8(frame.at(offset + 1)));
}

void setField(QByteArray& frame, int offset, quint16 value) {
    frame[offset] = char(value >> 8);
    frame[offset + 1] = char(value & 0xFF);
}

PollBlock pollBlock(const QByteArray& frame, int channel) {
    const int b = blockStart(channel);
    PollBlock p;
    p.control = quint8(frame.at(b));
    p.sampleIndex = field(frame, b + 6);
    p.setVoltage = field(frame, b + 8);
    p.setCurrent = field(frame, b + 10);
    return p;
}

QByteArray makeReply(const QByteArray& command) {
    QByteArray reply = command.left(kFrameSize);
    reply[kCodeByte] = char(frameCode(command) | kReplyBit);
    return reply;
}

void setReading(QByteArray& reply, int channel, quint16 voltageCode, quint16 currentCode) {
    const int b = blockStart(channel);
    setField(reply, b + 8, voltageCode);
    setField(reply, b + 10, currentCode);
}

void breakTrailer(QByteArray& frame) {
    for (int i = 0; i < 3; ++i)
        frame[kTrailerByte + i] = char(~kTrailer[i]);
}

bool FrameGatherer::dropToHeader() {
    const qsizetype at = buffer_.indexOf(frameHeader());
    if (at < 0) {
        // Keep a tail that may be the start of a header split across reads.
        const qsizetype keep = std::min<qsizetype>(buffer_.size(), kHeaderSize - 1);
        discarded_ += buffer_.size() - keep;
        buffer_.remove(0, buffer_.size() - keep);
        return false;
    }
    discarded_ += at;
    buffer_.remove(0, at);
    return true;
}

QList<QByteArray> FrameGatherer::feed(const QByteArray& bytes) {
    buffer_.append(bytes);
    QList<QByteArray> frames;
    while (dropToHeader() && buffer_.size() >= kFrameSize) {
        QByteArray frame = buffer_.left(kFrameSize);
        if (!hasTrailer(frame)) {
            buffer_.remove(0, 1);
            ++discarded_;
            continue;
        }
        buffer_.remove(0, kFrameSize);
        frames.append(frame);
    }
    return frames;
}

} // namespace q7rk::instrument
