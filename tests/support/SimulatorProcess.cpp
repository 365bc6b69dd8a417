#include "SimulatorProcess.h"

#include "KeptRecords.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace q7rk::testing {

QString SimulatorProcess::program() {
    return QStringLiteral(Q7RK_INSTRUMENT_PATH);
}

QList<int> SimulatorProcess::loggedCodes(const QString& logPath) {
    QList<int> codes;
    for (const Frame& frame : loggedFrames(logPath))
        codes << frame.code;
    return codes;
}

QList<SimulatorProcess::Frame> SimulatorProcess::loggedFrames(const QString& logPath, int code) {
    QFile f(logPath);
    QList<Frame> frames;
    if (!f.open(QIODevice::ReadOnly)) return frames;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        bool isFrame = false;
        const int lineCode = parts.value(1).toInt(&isFrame);
        if (parts.size() < 3 || !isFrame || (code >= 0 && lineCode != code)) continue;
        frames.append({QDateTime::fromString(QString::fromLatin1(parts[0]), Qt::ISODateWithMs),
                       parts[1].toInt(), parts[2]});
    }
    return frames;
}

QStringList SimulatorProcess::afterLastPoll(const QString& logPath) {
    QFile f(logPath);
    QStringList tail;
    if (!f.open(QIODevice::ReadOnly)) return tail;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() < 2) continue;
        if (parts[1] == "7")
            tail.clear();
        else
            tail << QString::fromLatin1(parts[1]);
    }
    return tail;
}

QString SimulatorProcess::lastSetVoltage(const QString& logPath, int channel) {
    const QList<Frame> polls = loggedFrames(logPath, 7);
    // Blocks of 16 bytes from byte 8; the set voltage is the word at byte 8 of a block.
    const int at = 8 + 16 * channel + 8;
    return polls.isEmpty() ? QString() : QString::fromLatin1(polls.last().hex.mid(2 * at, 4));
}

SimulatorProcess::~SimulatorProcess() {
    kill();
}

bool SimulatorProcess::start(const QStringList& args) {
    QStringList all = args;
    if (!all.contains(QStringLiteral("--port")) && !all.contains(QStringLiteral("--no-tcp")))
        all << QStringLiteral("--port") << QStringLiteral("0");
    // Tests shrink the program's timing: the line runs unpaced unless a test asks for a speed.
    if (!all.contains(QStringLiteral("--baud")))
        all << QStringLiteral("--baud") << QStringLiteral("0");
    if (records::kept()) {
        // Kept runs are compared between builds: the readings must not depend on the load.
        if (!all.contains(QStringLiteral("--clock")))
            all << QStringLiteral("--clock") << QStringLiteral("samples");
        m_keptLog = records::caseFolder() + '/' + records::nextName("frames") + ".log";
        const qsizetype log = all.indexOf(QStringLiteral("--log"));
        if (log >= 0)
            m_ownLog = all.value(log + 1);
        else
            all << QStringLiteral("--log") << m_keptLog;
    }
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(program(), all);
    if (!m_process.waitForStarted(5000)) {
        m_error = m_process.errorString();
        return false;
    }
    QByteArray out;
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (!m_process.waitForReadyRead(int(deadline.remainingTime()))) break;
        out += m_process.readAllStandardOutput();
        if (out.contains("READY")) break;
    }
    const QString text = QString::fromUtf8(out);
    const auto listen = QRegularExpression(QStringLiteral("LISTEN \\S+:(\\d+)")).match(text);
    if (listen.hasMatch()) m_port = quint16(listen.captured(1).toUInt());
    const auto pty = QRegularExpression(QStringLiteral("PTY (\\S+)")).match(text);
    if (pty.hasMatch()) m_pty = pty.captured(1);
    if (!text.contains(QStringLiteral("READY"))) {
        m_error = text + QString::fromUtf8(m_process.readAllStandardError());
        return false;
    }
    return true;
}

void SimulatorProcess::kill() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    if (!m_ownLog.isEmpty()) QFile::copy(m_ownLog, m_keptLog);
    m_ownLog.clear();
}

SilentPty::SilentPty() {
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0) return;
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        ::close(m_master);
        m_master = -1;
        return;
    }
    m_path = QString::fromLocal8Bit(ptsname(m_master));
}

SilentPty::~SilentPty() {
    if (m_master >= 0) ::close(m_master);
}

} // namespace q7rk::testing
