#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace q7rk::instrument {

// One line per received frame: local time with milliseconds, the command code and the frame
// in hex; and one per connection the program closed: the time and "closed tcp". Flushed per line so
// that a test can read it while the simulator runs.
class FrameLog {
public:
    bool open(const QString& path);
    bool isOpen() const { return file_.isOpen(); }
    QString errorString() const { return file_.errorString(); }
    void write(const QByteArray& frame);
    // A line for something that is no frame: "closed" when the program ends a connection.
    void writeEvent(const QByteArray& what);

private:
    QFile file_;
};

} // namespace q7rk::instrument
