#include "PtyPort.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace q7rk::instrument {

namespace {

QString systemError(const char* what) {
    return QString("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

PtyPort::PtyPort(QObject* parent) : QObject(parent) {}

PtyPort::~PtyPort() {
    delete notifier_;
    if (!linkPath_.isEmpty()) QFile::remove(linkPath_);
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
}

bool PtyPort::open(const QString& linkPath, QString* error) {
    if (!openMaster(error) || !openSlave(error)) return false;
    if (!linkPath.isEmpty() && !makeLink(linkPath, error)) return false;
    notifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &PtyPort::readAvailable);
    return true;
}

bool PtyPort::openMaster(QString* error) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        *error = systemError("pseudo-terminal");
        return false;
    }
    const char* name = ::ptsname(master_);
    if (!name) {
        *error = systemError("ptsname");
        return false;
    }
    slavePath_ = QString::fromLocal8Bit(name);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    return true;
}

// Holding the slave open ourselves keeps the master readable (no hang-up) while the program
// is not attached, and lets us put the line into raw mode: no echo, no line editing.
bool PtyPort::openSlave(QString* error) {
    slave_ = ::open(slavePath_.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    termios tio{};
    if (slave_ < 0 || ::tcgetattr(slave_, &tio) != 0) {
        *error = systemError("pseudo-terminal slave");
        return false;
    }
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    if (::tcsetattr(slave_, TCSANOW, &tio) != 0) {
        *error = systemError("raw mode");
        return false;
    }
    return true;
}

bool PtyPort::makeLink(const QString& linkPath, QString* error) {
    const QFileInfo existing(linkPath);
    if (existing.isSymLink()) QFile::remove(linkPath);
    if (!QFile::link(slavePath_, linkPath)) {
        *error = QString("cannot create the link %1").arg(linkPath);
        return false;
    }
    linkPath_ = linkPath;
    return true;
}

void PtyPort::readAvailable() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            emit received(QByteArray(buffer, qsizetype(n)));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return; // EAGAIN: drained
    }
}

// A serial line loses what nobody takes: when the program does not read and the terminal's
// buffer is full, the reply is dropped.
void PtyPort::write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += n;
    }
}

} // namespace q7rk::instrument
