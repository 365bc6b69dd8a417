#pragma once

#include <QByteArray>
#include <QList>

namespace q7rk::instrument {

// The instrument's side of the 107-byte frame: fixed header and trailer, a command code, six
// 16-byte channel blocks, big-endian 16-bit fields.
constexpr int kFrameSize = 107;
constexpr int kChannels = 6;
constexpr int kHeaderSize = 6;
constexpr int kCodeByte = 6;
constexpr int kTrailerByte = 104;
constexpr quint8 kReplyBit = 0x80;

enum CommandCode : quint8 { Handshake = 0, Poll = 7, Result = 11 };

QByteArray frameHeader();
QByteArray frameTrailer();

quint8 frameCode(const QByteArray& frame);
bool hasTrailer(const QByteArray& frame);

quint16 field(const QByteArray& frame, int offset);
void setField(QByteArray& frame, int offset, quint16 value);

// What a poll tells one channel.
struct PollBlock {
    quint8 control = 0; // low two bits clear: channel off
    quint16 sampleIndex = 0;
    quint16 setVoltage = 0;
    quint16 setCurrent = 0;
};

PollBlock pollBlock(const QByteArray& frame, int channel);

// A reply is the command with the reply bit set in its code.
QByteArray makeReply(const QByteArray& command);
void setReading(QByteArray& reply, int channel, quint16 voltageCode, quint16 currentCode);
void breakTrailer(QByteArray& frame);

// Cuts a byte stream into frames. Bytes before a header are dropped; a header whose frame
// does not end in the trailer was a false start, so the search moves on by one byte.
class FrameGatherer {
public:
    QList<QByteArray> feed(const QByteArray& bytes);
    qsizetype discarded() const { return discarded_; }

private:
    bool dropToHeader();

    QByteArray buffer_;
    qsizetype discarded_ = 0;
};

} // namespace q7rk::instrument
