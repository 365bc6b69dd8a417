#include "LinkFixture.h"
#include "link/FrameAssembler.h"
#include "link/MemoryTransport.h"
#include "link/SerialPollExchange.h"
#include "link/SetValueTables.h"

#include <QSignalSpy>
#include <QTest>

using namespace q7rk;

namespace {

QByteArray poll(LinkFixture& f) {
    const BuiltFrame built = buildPoll(f.channels, f.tests, SetValueTables{});
    if (!built.ok()) qWarning() << built.error;
    return built.bytes;
}

// A running group of channels 1-3 well past its first sample.
void running(LinkFixture& f, int lastChannel = 2) {
    f.channels.lastChannel = qint16(lastChannel);
    f.channels.sampleIndex = 7;
    for (q7rk::ChannelTest& t : f.tests)
        t.stopped = false;
}

} // namespace

class LinkFrameTest : public QObject {
    Q_OBJECT

private slots:
    void handshakeAndPollOfEachKind() {
        QCOMPARE(buildHandshake(),
                 kHead + QByteArray::fromHex("0001") + QByteArray(96, '\0') + kTail);

        LinkFixture f;
        running(f);
        f.set(0, Box::FormationVoltage, "200");
        f.set(0, Box::TestCurrent, "2");
        f.set(0, Box::RiseTime, "35");
        f.set(0, Box::LiveVoltage, "180.5");
        f.set(0, Box::LiveCurrent, "1.25");
        f.setKind(1, TestKind::Leakage);
        f.set(1, Box::LeakageVoltage, "100");
        f.set(1, Box::TestCurrent, "0.5");
        f.set(1, Box::FormationVoltage, "not read for leakage");
        f.channels.KV[1] = 0.5f;
        f.channels.KI[1] = 2.0f;
        f.setKind(2, TestKind::Electrolyte);
        f.set(2, Box::ElectrolyteSetVoltage, "300");
        f.set(2, Box::ElectrolyteCurrent, "3");

        const QByteArray p = poll(f);
        QCOMPARE(p.size(), 107);
        QCOMPARE(p.left(8), kHead + QByteArray::fromHex("0701"));
        QCOMPARE(p.right(3), kTail);
        for (int k = 0; k < 6; ++k) {
            QCOMPARE(p.mid(8 + 16 * k, 4), QByteArray::fromHex("03000000"));
            QCOMPARE(wordAt(p, 8 + 16 * k + 6), quint16(7)); // sample index
        }
        // Channel 1, TV: 200 V x 1.25 through the factory trim, x60 x KV = 13650.77, and
        // (2 x 1.0337397 - 0.15256187) x 5000 mA. Channel 2, leakage, with correction factors:
        // (100 x 0.85964948 + 7.0877619) x 60 x 0.5. Channel 3, electrolyte: its own boxes.
        const QList<std::pair<int, int>> words{{8 + 4, 35},     {8 + 8, 13651},  {8 + 10, 9575},
                                               {8 + 12, 1805},  {8 + 14, 1250},  {24 + 8, 2792},
                                               {24 + 10, 3795}, {40 + 8, 15812}, {40 + 10, 15197}};
        for (const auto& [at, word] : words)
            QVERIFY2(wordAt(p, at) == word, qPrintable(QString::number(at)));
        // Channels 4-6 have no factory trim: design texts 800 V and 2 mA.
        for (int k = 3; k < 6; ++k) {
            QCOMPARE(wordAt(p, 8 + 16 * k + 8), quint16(60000));
            QCOMPARE(wordAt(p, 8 + 16 * k + 10), quint16(10000));
        }
    }

    void pollClampsRoundingAndErrors() {
        LinkFixture f;
        running(f);
        f.set(3, Box::FormationVoltage, "1000"); // 75000 -> 65000
        f.set(3, Box::TestCurrent, "13");        // exactly 65000 is no excess
        f.set(4, Box::TestCurrent, "20");        // 100000 -> 5000, not 65000
        f.set(5, Box::FormationVoltage, "-10");
        f.set(5, Box::TestCurrent, "-1");
        f.set(5, Box::LiveVoltage, "-5");
        f.set(5, Box::LiveCurrent, "100"); // 100000 -> 65000
        f.set(0, Box::RiseTime, "2.5");    // halves go to the even neighbour
        f.set(1, Box::RiseTime, "3.5");
        f.set(0, Box::LiveVoltage, "0.25");
        f.set(1, Box::LiveVoltage, "0.75");
        const QByteArray p = poll(f);
        const QList<std::pair<int, int>> words{{56 + 8, 65000},  {56 + 10, 65000}, {72 + 10, 5000},
                                               {88 + 8, 0},      {88 + 10, 0},     {88 + 12, 0},
                                               {88 + 14, 65000}, {8 + 4, 2},       {24 + 4, 4},
                                               {8 + 12, 2},      {24 + 12, 8}};
        for (const auto& [at, word] : words)
            QVERIFY2(wordAt(p, at) == word,
                     qPrintable(QString("%1: %2").arg(at).arg(wordAt(p, at))));

        QCOMPARE(encodeField(65535.4), std::optional<quint16>(65535));
        QCOMPARE(encodeField(65535.5), std::nullopt); // rounds to 65536
        QCOMPARE(encodeField(-0.5), std::optional<quint16>(0));
        QCOMPARE(encodeField(-0.6), std::nullopt);
        QCOMPARE(encodeField(std::nan("")), std::nullopt);

        // Values that cannot be sent make no frame at all.
        f.set(0, Box::RiseTime, "70000"); // a rise time has no clamp
        QVERIFY(!buildPoll(f.channels, f.tests, {}).ok());
        f.set(0, Box::RiseTime, "0");
        f.set(1, Box::FormationVoltage, "");
        const BuiltFrame empty = buildPoll(f.channels, f.tests, {});
        QVERIFY(!empty.ok());
        QVERIFY(empty.error.contains(QStringLiteral("Text1")));
        QVERIFY(empty.bytes.isEmpty());
        // A channel outside the group sends no set values, so its boxes are not read.
        f.channels.lastChannel = 0;
        QVERIFY(buildPoll(f.channels, f.tests, {}).ok());
        f.set(4, Box::LiveCurrent, "abc"); // readouts travel for every channel
        QVERIFY(!buildPoll(f.channels, f.tests, {}).ok());
    }

    // Channels outside the group send no control byte and no set values; a stopped channel
    // of the first group is held off until the second sample.
    void controlBytesFollowTheGroupAndTheStops() {
        LinkFixture f;
        running(f, 0);
        const QByteArray one = poll(f);
        for (int at : {24, 32, 33, 34, 35, 40, 48, 49, 50, 51})
            QCOMPARE(quint8(one[at]), quint8(0));
        QCOMPARE(wordAt(one, 24 + 6), quint16(7)); // the rest of the block still travels
        QCOMPARE(quint8(one[56]), quint8(3));

        f.channels.lastChannel = 1;
        const QByteArray two = poll(f);
        QCOMPARE(quint8(two[24]), quint8(3));
        QCOMPARE(wordAt(two, 24 + 10), quint16(9909)); // (2 x 1.0681385 - 0.15453003) x 5000
        for (int at : {40, 48, 49, 50, 51})
            QCOMPARE(quint8(two[at]), quint8(0));

        f.channels.lastChannel = 5;
        f.tests[1].stopped = true;
        f.tests[4].stopped = true;
        f.channels.sampleIndex = 1;
        QByteArray p = poll(f);
        QCOMPARE(quint8(p[40]), quint8(3));
        QCOMPARE(quint8(p[24]), quint8(0));          // stopped, first group
        QCOMPARE(quint8(p[72]), quint8(3));          // stopped, second group: not held off
        QCOMPARE(wordAt(p, 24 + 8), quint16(13320)); // (250 x 0.85964948 + 7.0877619) x 60
        f.channels.sampleIndex = 2;
        p = poll(f);
        QCOMPARE(quint8(p[24]), quint8(3));
        QCOMPARE(wordAt(p, 24 + 6), quint16(2));
    }

    void resultFrame() {
        LinkFixture f;
        const char* verdicts[] = {"待定", "合格", "不合格", ""};
        const quint8 codes[] = {0, 64, 128, 128};
        for (int k = 0; k < 4; ++k)
            f.set(k, Box::TvVerdict, verdicts[k]);
        f.set(0, Box::TvValue, "205.3");
        f.set(0, Box::RiseTime, "35");
        f.set(0, Box::Readout50, "120");
        f.channels.KV[0] = 0.5f;
        f.channels.KI[0] = 2.0f;
        f.set(1, Box::TvValue, "9999"); // too large: pinned, so the verdicts still get through
        f.set(1, Box::RiseTime, "-3");
        f.set(1, Box::Readout50, "abc");

        const QByteArray r = buildResult(f.channels, f.tests);
        QCOMPARE(r.left(8), kHead + QByteArray::fromHex("0b01"));
        QCOMPARE(r.right(3), kTail);
        for (int k = 0; k < 6; ++k) {
            const int b = 8 + 16 * k;
            QCOMPARE(quint8(r[b]), k < 4 ? codes[k] : quint8(0)); // design text is 待定
            QCOMPARE(quint8(r[b + 1]), quint8(0));
            QCOMPARE(r.mid(b + 12, 4), QByteArray(4, '\0'));
        }
        // Channel 1: 200 V x 50 x 0.5 and 2 mA x 2000 x 2; channel 4 sends 800 V.
        const QList<std::pair<int, int>> words{{8 + 2, 2053}, {8 + 4, 35},    {8 + 6, 120},
                                               {8 + 8, 5000}, {8 + 10, 8000}, {24 + 2, 65535},
                                               {24 + 4, 0},   {24 + 6, 0},    {56 + 8, 40000}};
        for (const auto& [at, word] : words)
            QVERIFY2(wordAt(r, at) == word, qPrintable(QString::number(at)));
    }

    void decoding() {
        const QByteArray reply = pollReply(0x1234, 0xAB00);
        // The decoded values of random replies are checked by the fuzz test.
        auto serial = decodeSerialReply(reply);
        QVERIFY(serial);
        QVERIFY(decodeSerialReply(reply.left(106)));
        QByteArray odd = reply;
        odd[106] = 'x'; // never examined
        QVERIFY(decodeSerialReply(odd));
        QVERIFY(!decodeSerialReply(reply.left(105))); // what else is refused: the fuzz test
        QVERIFY(decodeEthernetReply(reply.left(100)));

        ChannelModel channels;
        applyReadings(channels, *serial);
        QCOMPARE(channels.rawVoltage[1], float(0x1235));
        QCOMPARE(channels.rawCurrent[2], float(0xAB02));
        QCOMPARE(channels.rawCurrent[4], 0.0f); // the serial path reads channels 1-3 only
    }

    void assembler() {
        const QByteArray a = pollReply(100, 200);
        const QByteArray b = pollReply(300, 400);
        FrameAssembler as; // frames split at random places: see the fuzz test

        // Two frames in one block with garbage around and between them.
        const QByteArray junk = QByteArray::fromHex("00ff7720110677");
        QCOMPARE(as.feed(junk + a + junk + b + junk.left(3)), (QList<QByteArray>{a, b}));
        QCOMPARE(as.discarded(), 2 * junk.size() + 2);
        QCOMPARE(as.buffered(), 1); // a lone 0x77 may still start a header

        // A header whose trailer is wrong is skipped, and the real frame behind it is found.
        QCOMPARE(as.feed(a.left(50) + b), QList<QByteArray>{b});
        QByteArray broken = a;
        broken[106] = 0;
        QCOMPARE(as.feed(broken + b), QList<QByteArray>{b}); // no pile-up: the fuzz test
    }

    // The serial poll exchange on a port in memory: a reply arriving in pieces, and polls
    // that cannot be built or written end after a bounded number of tries.
    void replyInPiecesAndBoundedFailures() {
        LinkFixture f;
        running(f);
        MemoryTransport port;
        QVERIFY(port.open());
        Timing fast;
        fast.replyTimeoutMs = 20;
        SerialPollExchange poll(fast);
        poll.setTransport(&port);
        connect(&poll, &SerialPollExchange::replied, this,
                [&f](const RawReadings& r) { applyReadings(f.channels, r); });
        int builds = 0;
        bool buildFails = false;
        const SerialPollExchange::PollBuilder build = [&] {
            ++builds;
            return buildFails ? QByteArray()
                              : buildPoll(f.channels, f.tests, SetValueTables{}).bytes;
        };
        QSignalSpy done(&poll, &SerialPollExchange::finished);

        QVERIFY(poll.tick(build));
        QVERIFY(!poll.tick(build)); // the tick still runs: the next one is skipped
        QCOMPARE(port.written().size(), 1);
        QCOMPARE(wordAt(port.written().first(), 8 + 6), quint16(7));
        const QByteArray reply = pollReply(5000, 700);
        port.feed(reply.left(60));
        QCOMPARE(done.size(), 0);
        port.feed(reply.mid(60, 46)); // 106 bytes are enough
        QCOMPARE(done.size(), 1);
        QCOMPARE(done.first().first().toBool(), true);
        QCOMPARE(f.channels.rawVoltage[2], 5002.0f);
        QCOMPARE(f.channels.rawCurrent[0], 700.0f);
        QCOMPARE(f.channels.rawVoltage[3], 0.0f);
        QVERIFY(!poll.isRunning());

        // A poll that cannot be built is retried a bounded number of times.
        buildFails = true;
        builds = 0;
        done.clear();
        poll.tick(build);
        QVERIFY(done.wait(2000));
        QCOMPARE(done.first().first().toBool(), false);
        QCOMPARE(builds, 3 * (SerialPollExchange::MaxRestarts + 1));
        QCOMPARE(port.written().size(), 1);

        // A port that refuses writes ends the same way.
        buildFails = false;
        port.setWriteFails(true);
        done.clear();
        poll.tick(build);
        QVERIFY(done.wait(2000));
        QCOMPARE(done.first().first().toBool(), false);
    }
};

QTEST_GUILESS_MAIN(LinkFrameTest)
#include "tst_linkframe.moc"
