#include "FrameLog.h"

#include "FrameCodec.h"

#include <QDateTime>

namespace q7rk::instrument {

bool FrameLog::open(const QString& path) {
    file_.setFileName(path);
    return file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
}

void FrameLog::write(const QByteArray& frame) {
    if (!file_.isOpen()) return;
    const QByteArray line = QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toLatin1() +
                            ' ' + QByteArray::number(frameCode(frame)) + ' ' + frame.toHex() + '\n';
    file_.write(line);
    file_.flush();
}

void FrameLog::writeEvent(const QByteArray& what) {
    if (!file_.isOpen()) return;
    file_.write(QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toLatin1() + ' ' + what +
                '\n');
    file_.flush();
}

} // namespace q7rk::instrument
