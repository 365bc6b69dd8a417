#include "logging/DailyLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <atomic>
#include <cstdio>

namespace q7rk {

namespace {

constexpr const char* TimeFormat = "yyyy-MM-dd HH:mm:ss.zzz"; // each line's time

std::atomic<DailyLog*> g_installed{nullptr};
QtMessageHandler g_previous = nullptr;
QLoggingCategory::CategoryFilter g_previousFilter = nullptr;

// The program's own categories write their information lines too while a log is kept: the
// runs, saves and uploads the log is for. stderr stays as quiet as before.
void categoryFilter(QLoggingCategory* category) {
    if (g_previousFilter) g_previousFilter(category);
    if (qstrncmp(category->categoryName(), "q7rk.", 5) == 0) category->setEnabled(QtInfoMsg, true);
}

void handler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    // Information lines reach stderr only when the rules asked for them.
    if (g_previous && (type != QtInfoMsg || !qEnvironmentVariableIsEmpty("QT_LOGGING_RULES")))
        g_previous(type, context, text);
    if (DailyLog* log = g_installed.load())
        log->add(type, QString::fromLatin1(context.category ? context.category : "default"), text);
}

QChar levelOf(QtMsgType type) {
    switch (type) {
    case QtDebugMsg:
        return QLatin1Char('D');
    case QtInfoMsg:
        return QLatin1Char('I');
    case QtWarningMsg:
        return QLatin1Char('W');
    case QtCriticalMsg:
        return QLatin1Char('C');
    case QtFatalMsg:
        return QLatin1Char('F');
    }
    return QLatin1Char('?');
}

} // namespace

DailyLog::DailyLog(Options options) : m_options(std::move(options)) {
    if (!m_options.now) m_options.now = [] { return QDateTime::currentDateTime(); };
    m_started = m_options.now();
    if (!QDir().mkpath(logFolder()))
        m_stopReason = QStringLiteral("cannot make the folder %1").arg(logFolder());
    else
        removeOldFiles(m_options.now().date());
    m_writer = std::thread([this] { run(); });
}

DailyLog::~DailyLog() {
    if (m_installed) {
        g_installed = nullptr;
        qInstallMessageHandler(m_previous);
        QLoggingCategory::installFilter(g_previousFilter);
    }
    {
        const std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_wake.notify_all();
    m_writer.join();
}

void DailyLog::install() {
    m_previous = qInstallMessageHandler(handler);
    g_previous = m_previous;
    g_installed = this;
    m_installed = true;
    g_previousFilter = QLoggingCategory::installFilter(categoryFilter);
    // A folder that could not be made stopped the log before anyone could be told.
    if (const QString reason = stopReason(); !reason.isEmpty()) tellStopped(reason);
}

QString DailyLog::logFolder() const {
    return folderIn(m_options.folder);
}

QString DailyLog::folderIn(const QString& dataFolder) {
    return QDir(dataFolder).filePath(QStringLiteral("logs"));
}

DailyLog* DailyLog::installed() {
    return g_installed.load();
}

std::optional<DailyLog::Entry> DailyLog::parse(const QString& line) {
    // "2026-12-08 10:40:01.123 I q7rk.ui: text"
    constexpr qsizetype TimeLength = 23;
    if (line.size() < TimeLength + 4 || line.at(TimeLength) != QLatin1Char(' ') ||
        line.at(TimeLength + 2) != QLatin1Char(' '))
        return std::nullopt;
    const QDateTime when =
        QDateTime::fromString(line.left(TimeLength), QString::fromLatin1(TimeFormat));
    const qsizetype colon = line.indexOf(QLatin1String(": "), TimeLength + 3);
    if (!when.isValid() || colon < 0) return std::nullopt;
    QString text = line.mid(colon + 2);
    if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
    return Entry{when, line.at(TimeLength + 1), line.mid(TimeLength + 3, colon - TimeLength - 3),
                 text};
}

QList<DailyLog::Entry> DailyLog::readSince(const QDateTime& since) {
    flush();
    QList<Entry> out;
    for (QDate day = since.date(); day <= m_options.now().date(); day = day.addDays(1)) {
        QFile file(fileFor(day));
        if (!file.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray& raw : file.readAll().split('\n')) {
            const auto entry = parse(QString::fromUtf8(raw));
            if (entry && entry->when >= since) out.append(*entry);
        }
    }
    return out;
}

QString DailyLog::fileFor(QDate day) const {
    return QDir(logFolder())
        .filePath(QStringLiteral("%1-%2.log").arg(m_options.program, day.toString(Qt::ISODate)));
}

QString DailyLog::stopReason() const {
    const std::lock_guard lock(m_mutex);
    return m_stopReason;
}

void DailyLog::add(QtMsgType type, const QString& category, const QString& text) {
    const QDateTime when = m_options.now();
    Line line{when, QStringLiteral("%1 %2 %3: %4\n")
                        .arg(when.toString(QString::fromLatin1(TimeFormat)))
                        .arg(levelOf(type))
                        .arg(category, text)};
    {
        const std::lock_guard lock(m_mutex);
        if (!m_stopReason.isEmpty() || m_closing) return;
        m_queue.push_back(std::move(line));
    }
    m_wake.notify_one();
    if (type == QtFatalMsg) flush(); // the program ends after this message
}

void DailyLog::flush() {
    std::unique_lock lock(m_mutex);
    m_written.wait(lock, [this] { return m_queue.empty() && !m_writing; });
}

void DailyLog::run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_closing || !m_queue.empty(); });
        while (!m_queue.empty()) {
            Line line = std::move(m_queue.front());
            m_queue.pop_front();
            m_writing = true;
            lock.unlock();
            write(line);
            lock.lock();
            m_writing = false;
        }
        m_written.notify_all();
        if (m_closing) return;
    }
}

// Opened and closed per line: a day file never stays open across midnight, another process
// may read it at any time, and a disk that fills is found at the next line.
void DailyLog::write(const Line& line) {
    if (!stopReason().isEmpty()) return;
    const QDate day = line.when.date();
    if (day != m_day) {
        m_day = day;
        m_dayBytes = QFileInfo(fileFor(day)).size();
        m_dayFull = false;
        removeOldFiles(day);
    }
    if (m_dayFull) return;
    QByteArray bytes = line.text.toUtf8();
    if (m_dayBytes + bytes.size() > m_options.maxBytesPerDay) {
        m_dayFull = true;
        bytes = QStringLiteral("%1 W q7rk.log: 今日日志已达上限，其余记录从略。\n")
                    .arg(line.when.toString(QString::fromLatin1(TimeFormat)))
                    .toUtf8();
    }
    QFile file(fileFor(day));
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Append) &&
                   file.write(bytes) == bytes.size() && file.flush();
    file.close(); // a full disk may only tell here
    if (!written || file.error() != QFileDevice::NoError) {
        stop(QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString()));
        return;
    }
    m_dayBytes += bytes.size();
}

void DailyLog::stop(const QString& reason) {
    {
        const std::lock_guard lock(m_mutex);
        m_stopReason = reason;
        m_queue.clear();
    }
    tellStopped(reason);
}

void DailyLog::tellStopped(const QString& reason) const {
    // Straight to the handler before this one: a message through Qt would come back here.
    const QString text =
        QStringLiteral("q7rk.log: the log stopped, the program goes on: ") + reason;
    if (m_previous && m_installed)
        m_previous(QtWarningMsg, QMessageLogContext(), text);
    else
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

void DailyLog::removeOldFiles(QDate today) {
    static const QRegularExpression dated(QStringLiteral("-(\\d{4}-\\d{2}-\\d{2})\\.log$"));
    const QDate oldestKept = today.addDays(1 - m_options.keepDays);
    const QDir dir(logFolder());
    for (const QString& name :
         dir.entryList({m_options.program + QStringLiteral("-*.log")}, QDir::Files)) {
        const auto m = dated.match(name);
        if (!m.hasMatch()) continue;
        const QDate day = QDate::fromString(m.captured(1), Qt::ISODate);
        if (day.isValid() && day < oldestKept) QFile::remove(dir.filePath(name));
    }
}

} // namespace q7rk
