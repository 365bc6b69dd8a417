#pragma once

#include "kinds/ChannelTest.h"
#include "link/SetValueTables.h"
#include "settings/ChannelModel.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <optional>

namespace q7rk {

// The instrument's frame: 107 bytes, a fixed header, a command code, six 16-byte channel
// blocks and a fixed trailer; 16-bit fields are big-endian; no length, no checksum.
namespace frame {
inline constexpr int Size = 107;
// The serial wait is satisfied with 106 bytes: the last trailer byte is never looked at.
inline constexpr int ReplyMinSize = 106;
inline constexpr int HeaderSize = 6;
inline constexpr std::array<quint8, HeaderSize> Header{0x77, 0x20, 0x11, 0x06, 0x07, 0x05};
inline constexpr int CodeAt = 6;
inline constexpr int MarkerAt = 7;
inline constexpr quint8 Marker = 1;
inline constexpr int BlocksAt = 8;
inline constexpr int BlockSize = 16;
inline constexpr int TrailerAt = 104;
inline constexpr std::array<quint8, 3> Trailer{0x0F, 0xF0, 0x86};

// Byte offsets inside a channel block.
inline constexpr int ControlAt = 0;
inline constexpr int RiseTimeAt = 4;
inline constexpr int SampleIndexAt = 6;
inline constexpr int SetVoltageAt = 8;  // in a reply: the measured voltage code
inline constexpr int SetCurrentAt = 10; // in a reply: the measured current code
inline constexpr int LiveVoltageAt = 12;
inline constexpr int LiveCurrentAt = 14;
// Result command block.
inline constexpr int ResultCodeAt = 0;
inline constexpr int TvValueAt = 2;
inline constexpr int ResultRiseTimeAt = 4;
inline constexpr int PeakIndexAt = 6;
inline constexpr int FormationVoltageAt = 8;
inline constexpr int TestCurrentAt = 10;

constexpr int blockAt(int channel) {
    return BlocksAt + BlockSize * channel;
}
} // namespace frame

enum class FrameCode : quint8 {
    Handshake = 0,
    Poll = 7,
    Result = 11,
    HandshakeReply = 128, // a reply carries the command code with bit 7 set
    PollReply = 135,
};

// Verdict codes of the result command.
inline constexpr quint8 ResultPending = 0;
inline constexpr quint8 ResultPass = 64;
inline constexpr quint8 ResultFail = 128;

// Rounds to the nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);

// A value as a 16-bit field: rounded half to even; nothing when it is not finite or the
// rounded value lies outside 0..65535.
std::optional<quint16> encodeField(double value);

// A built command, or why it could not be built (the attempt is abandoned then).
struct BuiltFrame {
    QByteArray bytes;
    QString error;
    bool ok() const { return error.isEmpty(); }
};

// A frame with header, code, marker and trailer and all channel blocks zero.
QByteArray emptyFrame(FrameCode code);
QByteArray buildHandshake();

// The poll: set values, readouts and sample index of all six channels, built from their
// tests and state. Fails when a value it needs is not a number or a field without a clamp
// does not fit.
BuiltFrame buildPoll(const ChannelModel& channels, const ChannelTests& tests,
                     const SetValueTables& tables);

// The poll as a running test sends it: a field whose box was no number at the start ("",
// "-" or "1e") repeats what the last poll of the run said, so the instrument keeps its set
// point and the poll never fails. A new run starts from zeros.
class PollComposer {
public:
    QByteArray build(const ChannelModel& channels, const ChannelTests& tests);
    void reset() { m_last.clear(); }
    const SetValueTables& tables() const { return m_tables; }

private:
    SetValueTables m_tables;
    QByteArray m_last;
};

// The test-end command with the verdicts and results of all six channels. It never fails:
// the instrument must learn the verdicts, so a value that was no number counts as 0 and a
// value that does not fit is pinned to 0 or 65535.
QByteArray buildResult(const ChannelModel& channels, const ChannelTests& tests);

// The measured codes of a poll reply.
struct RawReadings {
    PerChannel<float> voltage{};
    PerChannel<float> current{};
};

// A serial poll reply: at least 106 bytes, code 135 and the first two trailer bytes right.
// Only channels 1-3 are read; channels 4-6 come back as 0.
std::optional<RawReadings> decodeSerialReply(QByteArrayView reply);
// An Ethernet poll reply: all six channels, no check of code or trailer; nothing when the
// block is too short to hold the six fields.
std::optional<RawReadings> decodeEthernetReply(QByteArrayView reply);
bool isHandshakeReply(QByteArrayView reply);

// Stores decoded codes as the raw readings that the sampling tick consumes.
void applyReadings(ChannelModel& channels, const RawReadings& readings);

// True when the bytes start with the header and hold the trailer at 104..106.
bool hasFrameShape(QByteArrayView bytes);

} // namespace q7rk
