#include "Frame.h"

#include "kinds/ChannelTest.h"
#include "kinds/TestKindDescription.h"
#include "link/SetValueTables.h"
#include "settings/NumberText.h"

#include <algorithm>
#include <cmath>

namespace q7rk {

namespace {

using namespace frame;

// The instrument takes its set values as codes up to 65000; a current code beyond that is
// replaced by 5000, the instrument's safe test current, not by the maximum.
constexpr double SetCodeMax = 65000;
constexpr double ExcessiveCurrentCode = 5000;
constexpr double VoltageCodePerVolt = 60;
constexpr double CurrentCodePerMilliampere = 5000;
constexpr quint8 ControlActive = 3;
constexpr quint8 ControlLowBits = 0x03;

void putWord(QByteArray& bytes, int at, quint16 word) {
    bytes[at] = char(word >> 8);
    bytes[at + 1] = char(word & 0xFF);
}

quint8 byteAt(QByteArrayView bytes, int at) {
    return quint8(bytes[at]);
}

quint16 wordAt(QByteArrayView bytes, int at) {
    return quint16(byteAt(bytes, at) << 8 | byteAt(bytes, at + 1));
}

double clampSetVoltage(double code) {
    if (code > SetCodeMax) return SetCodeMax;
    if (code < 0) return 0;
    return code;
}

double clampSetCurrent(double code) {
    if (code > SetCodeMax) return ExcessiveCurrentCode;
    if (code < 0) return 0;
    return code;
}

double clampReadout(double code) {
    return std::clamp(code, 0.0, SetCodeMax);
}

// Channels outside the running group's range get no set values whatever their boxes hold.
bool trimmedByGroup(int channel, int lastChannel) {
    if (lastChannel == 0) return channel == 1 || channel == 2;
    if (lastChannel == 1) return channel == 2;
    return false;
}

// Fills one poll. Strict, the first field that cannot be filled ends the building; with the
// last frame at hand, such a field repeats what that frame said instead.
class PollWriter {
public:
    PollWriter(const ChannelModel& channels, const ChannelTests& tests,
               const SetValueTables& tables, const QByteArray* last = nullptr)
        : m_channels(channels), m_tests(tests), m_tables(tables), m_last(last),
          m_bytes(emptyFrame(FrameCode::Poll)) {}

    BuiltFrame build() {
        for (int k = 0; k < ChannelCount && m_error.isEmpty(); ++k)
            writeBlock(k);
        if (!m_error.isEmpty()) return {QByteArray(), m_error};
        return {m_bytes, QString()};
    }

private:
    void writeBlock(int k) {
        const int b = blockAt(k);
        m_bytes[b + ControlAt] = char(controlByte(k));
        const Reported& shown = m_tests[k].reported;
        put(k, b + RiseTimeAt, shown.riseTime, Box::RiseTime);
        put(k, b + SampleIndexAt, double(m_channels.sampleIndex), "sample index");
        if (!trimmedByGroup(k, m_channels.lastChannel)) writeSetValues(k, b);
        const auto liveVoltage = shown.liveVoltage;
        const auto liveCurrent = shown.liveCurrent;
        put(k, b + LiveVoltageAt,
            liveVoltage ? std::optional(clampReadout(*liveVoltage * 10)) : liveVoltage,
            Box::LiveVoltage);
        put(k, b + LiveCurrentAt,
            liveCurrent ? std::optional(clampReadout(*liveCurrent * 1000)) : liveCurrent,
            Box::LiveCurrent);
    }

    quint8 controlByte(int k) const {
        if (trimmedByGroup(k, m_channels.lastChannel)) return 0;
        // Before the second sample a stopped channel of the first group is held off, so the
        // instrument does not drive a channel that is not part of the run.
        if (m_channels.sampleIndex < 2 && k < ChannelsPerGroup && m_tests[k].stopped)
            return ControlActive & ~ControlLowBits;
        return ControlActive;
    }

    void writeSetValues(int k, int b) {
        const Box currentBox = description(m_tests[k].kind).currentBox;
        const auto [voltage, voltageBox] = userVoltage(k);
        const auto current = m_tests[k].setValue(currentBox);
        std::optional<double> vCode, iCode;
        if (voltage)
            vCode = clampSetVoltage(
                (*voltage * m_tables.setVoltageGain[k] + m_tables.setVoltageOffset[k]) *
                VoltageCodePerVolt * double(m_channels.KV[k]));
        if (current)
            iCode = clampSetCurrent(
                (*current * m_tables.setCurrentGain[k] + m_tables.setCurrentOffset[k]) *
                CurrentCodePerMilliampere * double(m_channels.KI[k]));
        put(k, b + SetVoltageAt, vCode, voltageBox);
        put(k, b + SetCurrentAt, iCode, currentBox);
    }

    std::pair<std::optional<double>, Box> userVoltage(int k) const {
        const TestKindDescription& kind = description(m_tests[k].kind);
        const auto v = m_tests[k].setValue(kind.voltageBox);
        return {v ? std::optional(*v * kind.setVoltageFactor) : v, kind.voltageBox};
    }

    void put(int k, int at, std::optional<double> value, Box box) {
        put(k, at, value, qPrintable(boxName(box)));
    }

    void put(int k, int at, std::optional<double> value, const char* what) {
        if (!m_error.isEmpty()) return;
        if (value) {
            if (const auto word = encodeField(*value)) {
                putWord(m_bytes, at, *word);
                return;
            }
        }
        if (m_last) {
            // The instrument keeps the value it was last told.
            const bool known = m_last->size() == Size;
            m_bytes[at] = known ? m_last->at(at) : '\0';
            m_bytes[at + 1] = known ? m_last->at(at + 1) : '\0';
            return;
        }
        m_error = value ? QStringLiteral("channel %1: %2 %3 does not fit 16 bits")
                              .arg(k + 1)
                              .arg(QLatin1String(what), formatNumber(*value))
                        : QStringLiteral("channel %1: %2 is not a number")
                              .arg(k + 1)
                              .arg(QLatin1String(what));
    }

    const ChannelModel& m_channels;
    const ChannelTests& m_tests;
    const SetValueTables& m_tables;
    const QByteArray* m_last;
    QByteArray m_bytes;
    QString m_error;
};

// Result fields are never refused: out-of-range values are pinned to the field's range.
quint16 pinnedField(double value) {
    if (std::isnan(value)) return 0;
    return quint16(std::clamp(roundHalfEven(value), 0.0, 65535.0));
}

quint8 resultCode(Reported::Code code) {
    switch (code) {
    case Reported::Code::Pending:
        return ResultPending;
    case Reported::Code::Pass:
        return ResultPass;
    case Reported::Code::Fail:
        return ResultFail;
    }
    return ResultFail;
}

RawReadings readBlocks(QByteArrayView reply, int channels) {
    RawReadings r;
    for (int k = 0; k < channels; ++k) {
        r.voltage[k] = wordAt(reply, blockAt(k) + SetVoltageAt);
        r.current[k] = wordAt(reply, blockAt(k) + SetCurrentAt);
    }
    return r;
}

} // namespace

double roundHalfEven(double value) {
    const double lower = std::floor(value);
    const double diff = value - lower;
    if (diff > 0.5) return lower + 1;
    if (diff < 0.5) return lower;
    return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

std::optional<quint16> encodeField(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    const double r = roundHalfEven(value);
    if (r < 0 || r > 65535) return std::nullopt;
    return quint16(r);
}

QByteArray emptyFrame(FrameCode code) {
    QByteArray bytes(Size, '\0');
    for (int i = 0; i < HeaderSize; ++i)
        bytes[i] = char(Header[i]);
    bytes[CodeAt] = char(code);
    bytes[MarkerAt] = char(Marker);
    for (int i = 0; i < int(Trailer.size()); ++i)
        bytes[TrailerAt + i] = char(Trailer[i]);
    return bytes;
}

QByteArray buildHandshake() {
    return emptyFrame(FrameCode::Handshake);
}

BuiltFrame buildPoll(const ChannelModel& channels, const ChannelTests& tests,
                     const SetValueTables& tables) {
    return PollWriter(channels, tests, tables).build();
}

QByteArray PollComposer::build(const ChannelModel& channels, const ChannelTests& tests) {
    m_last = PollWriter(channels, tests, m_tables, &m_last).build().bytes;
    return m_last;
}

QByteArray buildResult(const ChannelModel& channels, const ChannelTests& tests) {
    QByteArray bytes = emptyFrame(FrameCode::Result);
    for (int k = 0; k < ChannelCount; ++k) {
        const int b = blockAt(k);
        const ChannelTest& t = tests[k];
        const Reported& shown = t.reported;
        bytes[b + ResultCodeAt] = char(resultCode(shown.code));
        putWord(bytes, b + TvValueAt, pinnedField(shown.tvValue * 10));
        putWord(bytes, b + ResultRiseTimeAt, pinnedField(shown.riseTime.value_or(0)));
        putWord(bytes, b + PeakIndexAt, pinnedField(shown.peakField));
        putWord(bytes, b + FormationVoltageAt,
                pinnedField(t.number(Box::FormationVoltage) * 50 * double(channels.KV[k])));
        putWord(bytes, b + TestCurrentAt,
                pinnedField(t.number(Box::TestCurrent) * 2000 * double(channels.KI[k])));
    }
    return bytes;
}

std::optional<RawReadings> decodeSerialReply(QByteArrayView reply) {
    if (reply.size() < ReplyMinSize) return std::nullopt;
    if (byteAt(reply, CodeAt) != quint8(FrameCode::PollReply)) return std::nullopt;
    if (byteAt(reply, TrailerAt) != Trailer[0] || byteAt(reply, TrailerAt + 1) != Trailer[1])
        return std::nullopt;
    // The serial instrument reports the first group only.
    return readBlocks(reply, ChannelsPerGroup);
}

std::optional<RawReadings> decodeEthernetReply(QByteArrayView reply) {
    if (reply.size() < blockAt(ChannelCount - 1) + SetCurrentAt + 2) return std::nullopt;
    return readBlocks(reply, ChannelCount);
}

bool isHandshakeReply(QByteArrayView reply) {
    return reply.size() > CodeAt && byteAt(reply, CodeAt) == quint8(FrameCode::HandshakeReply);
}

void applyReadings(ChannelModel& channels, const RawReadings& readings) {
    channels.rawVoltage = readings.voltage;
    channels.rawCurrent = readings.current;
}

bool hasFrameShape(QByteArrayView bytes) {
    if (bytes.size() < Size) return false;
    for (int i = 0; i < HeaderSize; ++i)
        if (byteAt(bytes, i) != Header[i]) return false;
    for (int i = 0; i < int(Trailer.size()); ++i)
        if (byteAt(bytes, TrailerAt + i) != Trailer[i]) return false;
    return true;
}

} // namespace q7rk
