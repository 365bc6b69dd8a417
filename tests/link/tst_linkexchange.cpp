#include "LinkFixture.h"
#include "link/MemoryTransport.h"
#include "link/ResultSender.h"
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
    void resultRoutes();

private:
    std::unique_ptr<LinkFixture> m_f;
    std::unique_ptr<MemoryTransport> m_port;
    std::unique_ptr<SerialPollExchange> m_poll;
    // The instrument's part: called after each poll written, with the number of writes.
    std::function<void(int)> m_instrument;
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
    auto build = [this]() {
        ++m_builds;
        if (m_buildFails) return BuiltFrame{QByteArray(), QStringLiteral("empty box")};
        return buildPoll(m_f->channels, m_f->panel, SetValueTables{});
    };
    m_poll = std::make_unique<SerialPollExchange>(m_f->channels, build, fastTiming());
    m_poll->setTransport(m_port.get());
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
    QVERIFY(m_poll->tick());
    QVERIFY(!m_poll->tick()); // the tick still runs: the next one is skipped
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
    m_poll->tick();
    QVERIFY(done.wait(2000));
    QCOMPARE(done.first().first().toBool(), false);
    QCOMPARE(m_builds, 3 * (SerialPollExchange::MaxRestarts + 1));
    QVERIFY(m_port->written().isEmpty());
    QVERIFY(m_f->channels.channelStopped[2]);

    // A port that refuses writes ends the same way.
    m_buildFails = false;
    m_port->setWriteFails(true);
    done.clear();
    m_poll->tick();
    QVERIFY(done.wait(2000));
    QCOMPARE(done.first().first().toBool(), false);
}

void LinkExchangeTest::resultRoutes() {
    MemoryTransport tcp;
    ResultSender sender(m_f->channels, m_f->panel, fastTiming());
    QCOMPARE(sender.POWER_OFF(), 0); // no links at all
    sender.setSerialTransport(m_port.get());
    sender.setEthernetTransport(&tcp);
    QCOMPARE(sender.POWER_OFF(), 1); // the connection is not up
    tcp.open();
    QCOMPARE(sender.POWER_OFF(), 2);
    m_f->channels.serialLinkActive = false;
    QCOMPARE(sender.POWER_OFF(), 1);
    QCOMPARE(tcp.written().size(), 2);
    QCOMPARE(m_port->written().size(), 2);
    m_f->channels.serialLinkActive = true;
    m_port->close();
    tcp.close();
    QCOMPARE(sender.POWER_OFF(), 0);

    // The second frame repeats the first even when the boxes change in between (a new run
    // reset the verdicts).
    m_port->open();
    m_f->panel.setText(0, Box::Text8, QStringLiteral("合格"));
    QSignalSpy twice(&sender, &ResultSender::twiceSent);
    const qsizetype before = m_port->written().size();
    sender.sendTwice();
    m_f->panel.setText(0, Box::Text8, QStringLiteral("待定"));
    QVERIFY(twice.wait(2000));
    QCOMPARE(m_port->written().size(), before + 2);
    QCOMPARE(m_port->written().last(), m_port->written().at(before));
    QCOMPARE(quint8(m_port->written().last().at(8)), quint8(64));
}

QTEST_GUILESS_MAIN(LinkExchangeTest)
#include "tst_linkexchange.moc"
