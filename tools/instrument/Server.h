#pragma once

#include "Options.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QTcpServer;
class QTcpSocket;

namespace q7rk::instrument {

class FrameHandler;
class ReplayResponder;
class OutputLine;
class PtyPort;
struct LineSettings;

// The front ends: a TCP listener (one frame stream per connection) and a pseudo-terminal.
// Both cut their bytes into frames and hand them to the one FrameHandler, so a run over
// either link sees the same instrument. Replies leave through an OutputLine per connection
// (delay, pieces, line speed); over the pseudo-terminal the received bytes go through a line
// of the same speed first, so a frame is answered only once it would have arrived.
class Server : public QObject {
    Q_OBJECT
public:
    // With `replay`, frames are answered from it; the handler only logs them.
    Server(const Options& options, FrameHandler& handler, ReplayResponder* replay = nullptr,
           QObject* parent = nullptr);
    ~Server() override;

    bool start(QString* error);
    QString listenAddress() const;
    quint16 port() const;
    QString ptyPath() const;

private:
    bool startTcp(QString* error);
    bool startPty(QString* error);
    void acceptConnections();
    void serveSocket(QTcpSocket* socket);
    void dispatch(const QByteArray& frame, OutputLine& out);
    LineSettings replyLine(int baud) const;

    Options options_;
    FrameHandler& handler_;
    ReplayResponder* replay_;
    QElapsedTimer clock_;
    QTcpServer* tcp_ = nullptr;
    PtyPort* pty_ = nullptr;
};

} // namespace q7rk::instrument
