#include "LinkFixture.h"
#include "link/FrameAssembler.h"

#include <QRandomGenerator>
#include <QTest>

#include <array>
#include <optional>

using namespace q7rk;

namespace {

// A million blocks unless Q7RK_FUZZ_BLOCKS asks for another number (a quick local run).
int blockCount() {
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("Q7RK_FUZZ_BLOCKS", &ok);
    return ok && n > 0 ? n : 1000000;
}

QByteArray randomBytes(QRandomGenerator& rng, int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; i += 4) {
        const quint32 word = rng.generate();
        for (int j = i; j < std::min(size, i + 4); ++j)
            bytes[j] = char(word >> (8 * (j - i)));
    }
    return bytes;
}

// A frame with the right shape and random contents (any code).
QByteArray randomFrame(QRandomGenerator& rng) {
    return kHead + randomBytes(rng, 98) + kTail;
}

// Random garbage, truncated frames, frames with a flipped byte, and runs of them.
QByteArray randomBlock(QRandomGenerator& rng) {
    QByteArray block;
    const int pieces = 1 + rng.bounded(4);
    for (int i = 0; i < pieces; ++i) {
        QByteArray piece = rng.bounded(2) ? randomFrame(rng) : randomBytes(rng, rng.bounded(120));
        switch (rng.bounded(4)) {
        case 0:
            piece.truncate(rng.bounded(piece.size() + 1));
            break;
        case 1:
            if (!piece.isEmpty()) piece[rng.bounded(piece.size())] = char(rng.bounded(256));
            break;
        default:
            break;
        }
        block += piece;
    }
    return block;
}

// A poll reply as the instrument sends it, with its readings.
struct Reply {
    QByteArray bytes;
    std::array<quint16, 6> voltage{};
    std::array<quint16, 6> current{};
};

// Without a checksum a stream can only hide a whole reply behind a false header whose 107
// bytes happen to end in what looks like the trailer, inside the reply's readings. Readings
// never hold that pattern here, so any reply that goes missing is the assembler's fault.
bool looksLikeTrailer(const QByteArray& b, int at) {
    return b.mid(at, 3) == kTail || b.mid(at + 1, 3) == kTail;
}

Reply randomReply(QRandomGenerator& rng) {
    Reply r;
    r.bytes = kHead + QByteArray("\x87\x01", 2) + QByteArray(96, '\0') + kTail;
    for (int k = 0; k < 6; ++k) {
        const int at = 16 + 16 * k;
        do {
            r.bytes.replace(at, 4, randomBytes(rng, 4));
        } while (looksLikeTrailer(r.bytes, at));
        r.voltage[k] = wordAt(r.bytes, at);
        r.current[k] = wordAt(r.bytes, at + 2);
    }
    return r;
}

} // namespace

class LinkFuzzTest : public QObject {
    Q_OBJECT

private slots:
    void decodersAndAssemblerSurviveNoise();
    void assemblerRecoversEveryFrameOfASplitStream();
};

// Valid replies, some followed by noise, mixed into a stream of garbage: every one is
// accepted by both decoders with its readings and comes out of the assembler whole, and
// nothing the decoders accept breaks their rules.
void LinkFuzzTest::decodersAndAssemblerSurviveNoise() {
    QRandomGenerator rng(20240611);
    FrameAssembler assembler;
    const int blocks = blockCount();
    int sent = 0, assembled = 0;
    for (int i = 0; i < blocks; ++i) {
        std::optional<Reply> reply;
        QByteArray block;
        if (rng.bounded(4) == 0) {
            reply = randomReply(rng);
            block = reply->bytes;
            if (rng.bounded(2)) block += randomBlock(rng); // serial reads whatever waits
            ++sent;
        } else {
            block = randomBlock(rng);
        }
        const auto serial = decodeSerialReply(block);
        if (serial) {
            QVERIFY(block.size() >= 106 && quint8(block[6]) == 135);
            QVERIFY(quint8(block[104]) == 15 && quint8(block[105]) == 240);
            QCOMPARE(serial->voltage[3], 0.0f);
        }
        const auto ethernet = decodeEthernetReply(block);
        if (ethernet) QVERIFY(block.size() >= 100);
        if (reply) {
            QVERIFY(serial && ethernet);
            for (int k = 0; k < 6; ++k) {
                QCOMPARE(serial->voltage[k], k < 3 ? float(reply->voltage[k]) : 0.0f);
                QCOMPARE(serial->current[k], k < 3 ? float(reply->current[k]) : 0.0f);
                QCOMPARE(ethernet->voltage[k], float(reply->voltage[k]));
                QCOMPARE(ethernet->current[k], float(reply->current[k]));
            }
        }
        QCOMPARE(isHandshakeReply(block), block.size() > 6 && quint8(block[6]) == 128);
        bool found = !reply;
        for (const QByteArray& f : assembler.feed(block)) {
            ++assembled;
            QVERIFY(f.size() == 107 && f.startsWith(kHead) && f.endsWith(kTail));
            if (!found && f == reply->bytes) found = true;
        }
        QVERIFY2(found, qPrintable(QString("reply in block %1 lost by the assembler").arg(i)));
        QVERIFY(assembler.buffered() < 107);
    }
    QVERIFY(sent > blocks / 5);               // the mix did carry valid replies
    QVERIFY(assembled > sent + blocks / 100); // and the noise whole frames of its own
}

void LinkFuzzTest::assemblerRecoversEveryFrameOfASplitStream() {
    QRandomGenerator rng(7);
    QList<QByteArray> sent;
    QByteArray stream;
    for (int i = 0; i < 2000; ++i) {
        // Garbage between frames that holds no whole header cannot hide a frame.
        if (rng.bounded(3) == 0) stream += QByteArray(rng.bounded(8), '\x77') + "\x20\x11";
        sent.append(randomFrame(rng));
        stream += sent.last();
    }
    FrameAssembler assembler;
    QList<QByteArray> got;
    for (qsizetype pos = 0; pos < stream.size();) {
        const qsizetype n = std::min<qsizetype>(1 + rng.bounded(300), stream.size() - pos);
        got += assembler.feed(QByteArrayView(stream).sliced(pos, n));
        pos += n;
    }
    QCOMPARE(got.size(), sent.size());
    QVERIFY(got == sent);
}

QTEST_GUILESS_MAIN(LinkFuzzTest)
#include "tst_linkfuzz.moc"
