#pragma once

#include "Options.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <functional>

class QTcpServer;
class QTcpSocket;

namespace q7rk::instrument {

class FrameHandler;
class PtyPort;

// The front ends: a TCP listener (one frame stream per connection) and a pseudo-terminal.
// Both cut their bytes into frames and hand them to the one FrameHandler, so a run over
// either link sees the same instrument.
class Server : public QObject {
    Q_OBJECT
public:
    Server(const Options& options, FrameHandler& handler, QObject* parent = nullptr);
    ~Server() override;

    bool start(QString* error);
    QString listenAddress() const;
    quint16 port() const;
    QString ptyPath() const;

private:
    using Send = std::function<void(const QByteArray&)>;

    bool startTcp(QString* error);
    bool startPty(QString* error);
    void acceptConnections();
    void serveSocket(QTcpSocket* socket);
    void dispatch(const QByteArray& frame, QObject* context, const Send& send);

    Options options_;
    FrameHandler& handler_;
    QElapsedTimer clock_;
    QTcpServer* tcp_ = nullptr;
    PtyPort* pty_ = nullptr;
};

} // namespace q7rk::instrument
