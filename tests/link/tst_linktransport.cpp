#include "link/Frame.h"
#include "link/SerialTransport.h"
#include "link/TcpTransport.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace q7rk;

class LinkTransportTest : public QObject {
    Q_OBJECT

private slots:
    void tcpRoundTripAndPeerClose();
    void tcpRefused();
    void serialMissingDevice();
    void serialOverPseudoTerminal();
};

void LinkTransportTest::tcpRoundTripAndPeerClose() {
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    TcpTransport link(QStringLiteral("127.0.0.1"), server.serverPort());
    QSignalSpy opened(&link, &Transport::opened);
    QSignalSpy closed(&link, &Transport::closed);
    QSignalSpy errors(&link, &Transport::errorOccurred);
    QVERIFY(!link.write(buildHandshake()));
    QVERIFY(link.open());
    QVERIFY(opened.wait(5000));
    QVERIFY(link.isOpen());
    QTRY_VERIFY(server.hasPendingConnections());
    std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());

    QVERIFY(link.write(buildHandshake()));
    QTRY_COMPARE(peer->bytesAvailable(), qint64(frame::Size));
    QCOMPARE(peer->readAll(), buildHandshake());

    peer->write("stale");
    QTRY_COMPARE(link.bytesAvailable(), qint64(5));
    link.clearInput();
    QCOMPARE(link.bytesAvailable(), qint64(0));
    peer->write(emptyFrame(FrameCode::HandshakeReply));
    QTRY_COMPARE(link.bytesAvailable(), qint64(frame::Size));
    QVERIFY(isHandshakeReply(link.readAll()));

    peer->close();
    QVERIFY(closed.wait(5000));
    QVERIFY(!link.isOpen());
    QCOMPARE(errors.size(), 0); // a peer close is reported once, as closed()

    // Our own close is no peer close.
    QVERIFY(link.open());
    QVERIFY(opened.wait(5000));
    link.close();
    QTest::qWait(20);
    QCOMPARE(closed.size(), 1);
}

void LinkTransportTest::tcpRefused() {
    quint16 port = 0;
    {
        QTcpServer probe; // a port that was free a moment ago and has nobody listening
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort();
    }
    TcpTransport link(QStringLiteral("127.0.0.1"), port);
    QSignalSpy errors(&link, &Transport::errorOccurred);
    QVERIFY(link.open());
    QVERIFY(errors.wait(5000));
    QVERIFY(!link.isOpen());
    QVERIFY(!link.errorString().isEmpty());
}

void LinkTransportTest::serialMissingDevice() {
    SerialTransport link(QStringLiteral("/dev/q7rk-no-such-port"));
    QSignalSpy errors(&link, &Transport::errorOccurred);
    QVERIFY(!link.open());
    QVERIFY(!link.isOpen());
    QVERIFY(!link.errorString().isEmpty());
    QCOMPARE(errors.size(), 0); // a failed open is told by its result only
    QVERIFY(!link.write(buildHandshake()));
}

void LinkTransportTest::serialOverPseudoTerminal() {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        QSKIP("no pseudo-terminals here");
    const QString path = QString::fromLocal8Bit(ptsname(master));
    SerialTransport link(path);
    QVERIFY2(link.open(), qPrintable(link.errorString()));
    QSignalSpy ready(&link, &Transport::readyRead);

    QVERIFY(link.write(buildHandshake()));
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            char buf[256];
            fcntl(master, F_SETFL, O_NONBLOCK);
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0) received.append(buf, n);
            return received.size() >= frame::Size;
        }(),
        5000);
    QCOMPARE(received, buildHandshake());

    const QByteArray reply = emptyFrame(FrameCode::HandshakeReply);
    QCOMPARE(::write(master, reply.constData(), reply.size()), ssize_t(reply.size()));
    QTRY_COMPARE_WITH_TIMEOUT(link.bytesAvailable(), qint64(frame::Size), 5000);
    QVERIFY(ready.size() > 0);
    QVERIFY(isHandshakeReply(link.readAll()));
    link.close();
    ::close(master);
}

QTEST_GUILESS_MAIN(LinkTransportTest)
#include "tst_linktransport.moc"
