#pragma once

#include "link/Frame.h"
#include "params/PanelModel.h"
#include "settings/SettingsStore.h"

#include <QByteArray>
#include <QTemporaryDir>

// A panel with its channel model and a throw-away settings file, as the link reads them.
struct LinkFixture {
    QTemporaryDir dir;
    q7rk::SettingsStore store{dir.filePath(QStringLiteral("link.ini"))};
    q7rk::ChannelModel channels;
    q7rk::PanelModel panel{channels, store};

    void set(int channel, q7rk::Box box, const char* text) {
        panel.setText(channel, box, QString::fromUtf8(text));
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
