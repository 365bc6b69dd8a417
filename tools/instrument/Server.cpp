#include "Server.h"

#include "FrameCodec.h"
#include "FrameHandler.h"
#include "PtyPort.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace q7rk::instrument {

Server::Server(const Options& options, FrameHandler& handler, QObject* parent)
    : QObject(parent), options_(options), handler_(handler) {
    clock_.start();
}

Server::~Server() = default;

bool Server::start(QString* error) {
    return (!options_.tcp || startTcp(error)) && (!options_.pty || startPty(error));
}

QString Server::listenAddress() const {
    return tcp_ ? tcp_->serverAddress().toString() : QString();
}

quint16 Server::port() const {
    return tcp_ ? tcp_->serverPort() : 0;
}

QString Server::ptyPath() const {
    return pty_ ? pty_->slavePath() : QString();
}

bool Server::startTcp(QString* error) {
    const QHostAddress address(options_.listenAddress);
    if (address.isNull()) {
        *error = "bad listen address " + options_.listenAddress;
        return false;
    }
    tcp_ = new QTcpServer(this);
    if (!tcp_->listen(address, options_.port)) {
        *error = tcp_->errorString();
        return false;
    }
    connect(tcp_, &QTcpServer::newConnection, this, &Server::acceptConnections);
    return true;
}

bool Server::startPty(QString* error) {
    pty_ = new PtyPort(this);
    if (!pty_->open(options_.ptyLink, error)) return false;
    auto gatherer = std::make_shared<FrameGatherer>();
    connect(pty_, &PtyPort::received, this, [this, gatherer](const QByteArray& bytes) {
        for (const QByteArray& frame : gatherer->feed(bytes))
            dispatch(frame, pty_, [this](const QByteArray& reply) { pty_->write(reply); });
    });
    return true;
}

void Server::acceptConnections() {
    while (QTcpSocket* socket = tcp_->nextPendingConnection())
        serveSocket(socket);
}

void Server::serveSocket(QTcpSocket* socket) {
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    auto gatherer = std::make_shared<FrameGatherer>();
    auto received = std::make_shared<int>(0);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, gatherer, received] {
        const Send send = [socket](const QByteArray& reply) { socket->write(reply); };
        const int closeAfter = options_.faults.closeAfter;
        for (const QByteArray& frame : gatherer->feed(socket->readAll())) {
            if (closeAfter > 0 && *received >= closeAfter)
                return; // closing: whatever follows the last frame is ignored
            ++*received;
            dispatch(frame, socket, send);
            if (closeAfter > 0 && *received >= closeAfter)
                // Queued behind a delayed reply, if any, so that reply still goes out.
                QTimer::singleShot(options_.faults.delayMs, socket,
                                   [socket] { socket->disconnectFromHost(); });
        }
    });
}

void Server::dispatch(const QByteArray& frame, QObject* context, const Send& send) {
    const std::optional<QByteArray> reply = handler_.handle(frame, clock_.elapsed());
    if (!reply) return;
    if (options_.faults.delayMs <= 0) {
        send(*reply);
        return;
    }
    QTimer::singleShot(options_.faults.delayMs, context, [send, bytes = *reply] { send(bytes); });
}

} // namespace q7rk::instrument
