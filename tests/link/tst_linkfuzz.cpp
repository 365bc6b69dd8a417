#include "link/Frame.h"
#include "link/FrameAssembler.h"

#include <QRandomGenerator>
#include <QTest>

using namespace q7rk;

namespace {

const QByteArray kHead = QByteArray::fromHex("772011060705");
const QByteArray kTail = QByteArray::fromHex("0ff086");

QByteArray randomBytes(QRandomGenerator& rng, int size) {
    QByteArray bytes(size, '\0');
    for (char& c : bytes)
        c = char(rng.bounded(256));
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

bool shapeIsRight(const QByteArray& f) {
    return f.size() == 107 && f.startsWith(kHead) && f.endsWith(kTail);
}

} // namespace

class LinkFuzzTest : public QObject {
    Q_OBJECT

private slots:
    void decodersAndAssemblerSurviveNoise();
    void assemblerRecoversEveryFrameOfASplitStream();
};

void LinkFuzzTest::decodersAndAssemblerSurviveNoise() {
    QRandomGenerator rng(20240611);
    FrameAssembler assembler;
    int accepted = 0;
    int assembled = 0;
    for (int i = 0; i < 100000; ++i) {
        const QByteArray block = randomBlock(rng);
        if (const auto r = decodeSerialReply(block)) {
            ++accepted;
            QVERIFY(block.size() >= 106 && quint8(block[6]) == 135);
            QVERIFY(quint8(block[104]) == 15 && quint8(block[105]) == 240);
            QCOMPARE(r->voltage[3], 0.0f);
        }
        if (decodeEthernetReply(block)) QVERIFY(block.size() >= 100);
        QCOMPARE(isHandshakeReply(block), block.size() > 6 && quint8(block[6]) == 128);
        for (const QByteArray& f : assembler.feed(block)) {
            ++assembled;
            QVERIFY(shapeIsRight(f));
        }
        QVERIFY(assembler.buffered() < 107);
    }
    QVERIFY(assembled > 1000); // the noise did carry whole frames
    Q_UNUSED(accepted);
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
