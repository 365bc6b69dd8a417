#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace q7rk::instrument {

// One line per received frame: local time with milliseconds, the command code and the frame
// in hex. Flushed per line so that a test can read it while the simulator runs.
class FrameLog {
public:
    bool open(const QString& path);
    bool isOpen() const { return file_.isOpen(); }
    QString errorString() const { return file_.errorString(); }
    void write(const QByteArray& frame);

private:
    QFile file_;
};

} // namespace q7rk::instrument
