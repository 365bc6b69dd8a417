#pragma once

#include <QDateTime>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace q7rk::testing {

// The instrument simulator as a real process for tests: started with its options, ready
// once it has printed READY (with its TCP port and pseudo-terminal path before that).
class SimulatorProcess {
public:
    ~SimulatorProcess();

    // Starts q7rk-instrument with `args` (plus --port 0 unless a port is given, --baud 0 unless
    // a line speed is given) and waits up to 10 s for READY. Returns false with the process output
    // in error(). When the test case keeps its records (KeptRecords.h), the simulator's model
    // follows the sample index rather than the wall clock, and its frame log is kept.
    bool start(const QStringList& args);
    void kill();

    quint16 port() const { return m_port; }
    const QString& ptyPath() const { return m_pty; }
    const QString& error() const { return m_error; }
    QProcess& process() { return m_process; }

    static QString program();
    // The command codes of the frames a --log file holds, in the order received.
    static QList<int> loggedCodes(const QString& logPath);
    // The frames a --log file holds with command `code` (every frame for -1), in order.
    struct Frame {
        QDateTime at;
        int code;
        QByteArray hex;
    };
    static QList<Frame> loggedFrames(const QString& logPath, int code = -1);
    // What the log holds after the last poll: "11" for each test-end frame, "closed" where the
    // program ended the TCP connection, the code of any other frame.
    static QStringList afterLastPoll(const QString& logPath);
    // The voltage set value (hex) of channel `channel` (0-5) in the last poll logged.
    static QString lastSetVoltage(const QString& logPath, int channel = 0);

private:
    QProcess m_process;
    quint16 m_port = 0;
    QString m_pty;
    QString m_error;
    QString m_ownLog;  // the log the test asked for, copied into the records at the end
    QString m_keptLog; // where the records keep it
};

// A pseudo-terminal that nobody answers on: a serial port without an instrument.
class SilentPty {
public:
    SilentPty();
    ~SilentPty();
    bool isValid() const { return m_master >= 0; }
    const QString& path() const { return m_path; }

private:
    int m_master = -1;
    QString m_path;
};

} // namespace q7rk::testing
