#pragma once

#include "kinds/ChannelTest.h"
#include "link/Frame.h"
#include "params/DesignTexts.h"

#include <QByteArray>

// The channels' tests as a run takes them from a panel that shows its design texts; `set`
// gives a box another text at the start.
struct LinkFixture {
    q7rk::ChannelModel channels;
    q7rk::ChannelTests tests;

    LinkFixture() {
        for (int k = 0; k < q7rk::ChannelCount; ++k)
            for (int b = 1; b <= q7rk::BoxCount; ++b)
                tests[k].takeShown(q7rk::Box(b), q7rk::designText(k, q7rk::Box(b)));
    }
    void set(int channel, q7rk::Box box, const char* text) {
        tests[channel].takeShown(box, QString::fromUtf8(text));
    }
    void setKind(int channel, q7rk::TestKind kind) {
        channels.setKind(channel, kind);
        tests[channel].kind = kind;
    }
};

// The fixed head and trailer of every frame.
inline const QByteArray kHead = QByteArray::fromHex("772011060705");
inline const QByteArray kTail = QByteArray::fromHex("0ff086");

inline quint16 wordAt(const QByteArray& bytes, int at) {
    return quint16(quint8(bytes[at]) << 8 | quint8(bytes[at + 1]));
}

inline void putWord(QByteArray& bytes, int at, quint16 word) {
    bytes[at] = char(word >> 8);
    bytes[at + 1] = char(word & 0xFF);
}

// A poll reply as the instrument sends it, with voltage and current codes per channel.
inline QByteArray pollReply(quint16 voltageBase, quint16 currentBase) {
    QByteArray reply = q7rk::emptyFrame(q7rk::FrameCode::PollReply);
    for (int k = 0; k < q7rk::ChannelCount; ++k) {
        putWord(reply, 16 + 16 * k, quint16(voltageBase + k));
        putWord(reply, 18 + 16 * k, quint16(currentBase + k));
    }
    return reply;
}
