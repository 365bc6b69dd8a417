#include "Server.h"

#include "FrameLog.h"

#include "FrameCodec.h"
#include "FrameHandler.h"
#include "OutputLine.h"
#include "PtyPort.h"
#include "Replay.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

namespace q7rk::instrument {

Server::Server(const Options& options, FrameHandler& handler, ReplayResponder* replay,
               QObject* parent)
    : QObject(parent), options_(options), handler_(handler), replay_(replay) {
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
    // A replay's recorded times already hold the line's own, both ways.
    auto* out = new OutputLine(
        replyLine(replay_ ? 0 : options_.baud),
        [this](const QByteArray& bytes) { pty_->write(bytes); }, this);
    auto gatherer = std::make_shared<FrameGatherer>();
    LineSettings incoming;
    incoming.baud = replay_ ? 0 : options_.baud;
    auto* in = new OutputLine(
        incoming,
        [this, out, gatherer](const QByteArray& bytes) {
            for (const QByteArray& frame : gatherer->feed(bytes))
                dispatch(frame, *out);
        },
        this);
    connect(pty_, &PtyPort::received, in, &OutputLine::send);
    return true;
}

LineSettings Server::replyLine(int baud) const {
    LineSettings line;
    line.baud = baud;
    line.delayMs = options_.faults.delayMs;
    line.split = options_.faults.splitReplies;
    line.seed = options_.seed;
    return line;
}

void Server::acceptConnections() {
    while (QTcpSocket* socket = tcp_->nextPendingConnection())
        serveSocket(socket);
}

void Server::serveSocket(QTcpSocket* socket) {
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    // Tests read from the log whether the last frames came before the connection ended.
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        if (FrameLog* log = handler_.log()) log->writeEvent("closed tcp");
    });
    auto* out = new OutputLine(
        replyLine(0), [socket](const QByteArray& bytes) { socket->write(bytes); }, socket);
    auto gatherer = std::make_shared<FrameGatherer>();
    auto received = std::make_shared<int>(0);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, out, gatherer, received] {
        const int closeAfter = options_.faults.closeAfter;
        for (const QByteArray& frame : gatherer->feed(socket->readAll())) {
            if (closeAfter > 0 && *received >= closeAfter)
                return; // closing: whatever follows the last frame is ignored
            ++*received;
            dispatch(frame, *out);
            if (closeAfter > 0 && *received >= closeAfter)
                // After the last reply has gone out, whatever its delay.
                out->whenIdle([socket] { socket->disconnectFromHost(); });
        }
    });
}

void Server::dispatch(const QByteArray& frame, OutputLine& out) {
    if (replay_) {
        if (FrameLog* log = handler_.log()) log->write(frame);
        for (const ReplyPiece& piece : replay_->answer(frame))
            out.sendAfter(piece.bytes, piece.delayMs);
        return;
    }
    if (const std::optional<QByteArray> reply = handler_.handle(frame, clock_.elapsed()))
        out.send(*reply);
}

} // namespace q7rk::instrument
