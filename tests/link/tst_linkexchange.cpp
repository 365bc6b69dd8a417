#include "LinkFixture.h"
#include "link/MemoryTransport.h"
#include "link/SerialPollExchange.h"
#include "link/SetValueTables.h"

#include <QSignalSpy>
#include <QTest>

using namespace q7rk;

class LinkExchangeTest : public QObject {
    Q_OBJECT

private slots:
    void replyInPiecesAndBoundedFailures() {
        LinkFixture f;
        f.channels.channelStopped.fill(false);
        f.channels.lastChannel = 2;
        f.channels.sampleIndex = 9;
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
                              : buildPoll(f.channels, f.panel, SetValueTables{}).bytes;
        };
        QSignalSpy done(&poll, &SerialPollExchange::finished);

        QVERIFY(poll.tick(build));
        QVERIFY(!poll.tick(build)); // the tick still runs: the next one is skipped
        QCOMPARE(port.written().size(), 1);
        QCOMPARE(wordAt(port.written().first(), 8 + 6), quint16(9));
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

QTEST_GUILESS_MAIN(LinkExchangeTest)
#include "tst_linkexchange.moc"
