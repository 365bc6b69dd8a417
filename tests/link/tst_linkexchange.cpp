#include "LinkFixture.h"
#include "link/MemoryTransport.h"
#include "link/SerialPollExchange.h"
#include "link/SetValueTables.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <functional>

using namespace q7rk;

namespace {

Timing fastTiming() {
    Timing t;
    t.replyTimeoutMs = 20;
    t.resultGapMs = 60;
    return t;
}

} // namespace

class LinkExchangeTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void replyInPieces();
    void persistentErrorIsBounded();

private:
    std::unique_ptr<LinkFixture> m_f;
    std::unique_ptr<MemoryTransport> m_port;
    std::unique_ptr<SerialPollExchange> m_poll;
    // The instrument's part: called after each poll written, with the number of writes.
    std::function<void(int)> m_instrument;
    SerialPollExchange::PollBuilder m_build;
    int m_builds = 0;
    bool m_buildFails = false;
};

void LinkExchangeTest::init() {
    m_f = std::make_unique<LinkFixture>();
    m_f->channels.channelStopped.fill(false);
    m_f->channels.lastChannel = 2;
    m_port = std::make_unique<MemoryTransport>();
    QVERIFY(m_port->open());
    m_builds = 0;
    m_buildFails = false;
    m_build = [this]() {
        ++m_builds;
        if (m_buildFails) return QByteArray();
        return buildPoll(m_f->channels, m_f->panel, SetValueTables{}).bytes;
    };
    m_poll = std::make_unique<SerialPollExchange>(fastTiming());
    m_poll->setTransport(m_port.get());
    connect(m_poll.get(), &SerialPollExchange::replied, this,
            [this](const RawReadings& r) { applyReadings(m_f->channels, r); });
    m_instrument = nullptr;
    connect(m_port.get(), &MemoryTransport::wrote, this, [this] {
        if (m_instrument) m_instrument(int(m_port->written().size()));
    });
}

void LinkExchangeTest::cleanup() {
    m_poll.reset();
    m_port.reset();
    m_f.reset();
}

void LinkExchangeTest::replyInPieces() {
    QSignalSpy done(m_poll.get(), &SerialPollExchange::finished);
    m_f->channels.sampleIndex = 9;
    QVERIFY(m_poll->tick(m_build));
    QVERIFY(!m_poll->tick(m_build)); // the tick still runs: the next one is skipped
    QCOMPARE(m_port->written().size(), 1);
    QCOMPARE(wordAt(m_port->written().first(), 8 + 6), quint16(9));

    const QByteArray reply = pollReply(5000, 700);
    m_port->feed(reply.left(60));
    QCOMPARE(done.size(), 0);
    m_port->feed(reply.mid(60, 46)); // 106 bytes are enough
    QCOMPARE(done.size(), 1);
    QCOMPARE(done.first().first().toBool(), true);
    QCOMPARE(m_f->channels.rawVoltage[2], 5002.0f);
    QCOMPARE(m_f->channels.rawCurrent[0], 700.0f);
    QCOMPARE(m_f->channels.rawVoltage[3], 0.0f);
    QVERIFY(!m_poll->isRunning());
}

void LinkExchangeTest::persistentErrorIsBounded() {
    m_buildFails = true;
    QSignalSpy done(m_poll.get(), &SerialPollExchange::finished);
    m_poll->tick(m_build);
    QVERIFY(done.wait(2000));
    QCOMPARE(done.first().first().toBool(), false);
    QCOMPARE(m_builds, 3 * (SerialPollExchange::MaxRestarts + 1));
    QVERIFY(m_port->written().isEmpty());

    // A port that refuses writes ends the same way.
    m_buildFails = false;
    m_port->setWriteFails(true);
    done.clear();
    m_poll->tick(m_build);
    QVERIFY(done.wait(2000));
    QCOMPARE(done.first().first().toBool(), false);
}

QTEST_GUILESS_MAIN(LinkExchangeTest)
#include "tst_linkexchange.moc"
