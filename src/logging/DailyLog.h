#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace q7rk {

// The program's own log, always on: every message Qt's logging lets through goes, with its
// time, level and category, into logs/<program>-YYYY-MM-DD.log of the working folder, a file
// per day. Files older than the days kept are removed at the start; a day's file stops at its
// size cap with a line that says so. Messages are queued and written by a thread of their own,
// so the sampling tick never waits for a disk. A folder or a disk that cannot be written stops
// the log, never the program: one warning on the previous handler (stderr) says why.
class DailyLog {
public:
    struct Options {
        QString folder; // where logs/ goes
        QString program = QStringLiteral("q7rk");
        int keepDays = 30; // today and the 29 days before it
        qint64 maxBytesPerDay = 20 * 1024 * 1024;
        std::function<QDateTime()> now; // the clock; the system's when empty
    };

    explicit DailyLog(Options options);
    // The log of `program` in `folder`, on the system's clock, with the usual limits.
    DailyLog(const QString& folder, const QString& program)
        : DailyLog(Options{folder, program, 30, 20 * 1024 * 1024, {}}) {}
    ~DailyLog(); // what is queued is written first
    DailyLog(const DailyLog&) = delete;
    DailyLog& operator=(const DailyLog&) = delete;

    // Makes this the handler of Qt's messages; the one before it still gets them (stderr),
    // apart from information lines nobody asked for. The program's categories (q7rk.*) write
    // their information lines into the log. One log at a time; the destructor puts the
    // previous handler and filter back.
    void install();

    // Queues one message; returns at once.
    void add(QtMsgType type, const QString& category, const QString& text);
    // Waits until everything queued so far is written (or dropped).
    void flush();

    // The folder of the day files, and the file a message of `day` goes to.
    QString logFolder() const;
    QString fileFor(QDate day) const;
    // The day files' folder of a data folder.
    static QString folderIn(const QString& dataFolder);
    // Why the log stopped; empty while it writes.
    QString stopReason() const;

    // The log that receives Qt's messages now; null when none is installed.
    static DailyLog* installed();
    // When this log began: the start of the program's session.
    QDateTime startedAt() const { return m_started; }

    // One line of a day file, as add() wrote it.
    struct Entry {
        QDateTime when;
        QChar level; // D, I, W, C or F
        QString category;
        QString text;
    };
    static std::optional<Entry> parse(const QString& line);
    // What this log wrote from `since` on (lines already queued are written first), from the
    // day files of since's day up to today's; a day whose file cannot be read is skipped.
    QList<Entry> readSince(const QDateTime& since);

private:
    struct Line {
        QDateTime when;
        QString text; // formatted
    };
    void run();
    void write(const Line& line);
    void stop(const QString& reason);
    // The one warning that the log stopped, on the handler before this one.
    void tellStopped(const QString& reason) const;
    void removeOldFiles(QDate today);

    Options m_options;
    QDateTime m_started;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake, m_written;
    std::deque<Line> m_queue;
    bool m_closing = false;
    bool m_writing = false;
    QString m_stopReason;
    // Writer thread only:
    QDate m_day;
    qint64 m_dayBytes = 0;
    bool m_dayFull = false;
    std::thread m_writer;
    QtMessageHandler m_previous = nullptr;
    bool m_installed = false;
};

} // namespace q7rk
