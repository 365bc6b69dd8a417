#include "logging/DailyLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTest>

using namespace q7rk;

namespace {

Q_LOGGING_CATEGORY(testLog, "q7rk.test", QtWarningMsg) // as the program's categories

QString read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

class DailyLogTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QDateTime m_now{QDate(2026, 12, 8), QTime(23, 59, 58)};

    DailyLog::Options options(qint64 cap = 1 << 20) {
        return {m_dir.path(), QStringLiteral("q7rk"), 30, cap, [this] { return m_now; }};
    }

private slots:
    // Qt's messages reach the day file with time, level and category, the program's
    // information lines too, and stderr still gets the warnings; past midnight the next day's file starts; files older than 30 days go at the start.
    void daysAndKeptDays() {
        QDir().mkpath(m_dir.filePath("logs"));
        for (const char* day : {"2026-11-08", "2026-11-09"})
            QFile(m_dir.filePath(QStringLiteral("logs/q7rk-%1.log").arg(day)))
                .open(QIODevice::WriteOnly);
        {
            DailyLog log(options());
            QVERIFY(!QFile::exists(m_dir.filePath("logs/q7rk-2026-11-08.log")));
            QVERIFY(QFile::exists(m_dir.filePath("logs/q7rk-2026-11-09.log")));
            log.install();
            qCWarning(testLog) << "link lost: three time-outs";
            m_now = m_now.addSecs(3);
            qCInfo(testLog) << "run of channels 1-3 ended";
            log.flush();
            QCOMPARE(read(log.fileFor(QDate(2026, 12, 8))),
                     QStringLiteral("2026-12-08 23:59:58.000 W q7rk.test: link lost: three "
                                    "time-outs\n"));
            QCOMPARE(read(log.fileFor(QDate(2026, 12, 9))),
                     QStringLiteral("2026-12-09 00:00:01.000 I q7rk.test: run of channels 1-3 "
                                    "ended\n"));
        }
        qCWarning(testLog) << "after the log"; // the handler is Qt's own again
    }

    // A day's file stops at its cap with one line saying so.
    void sizeCap() {
        DailyLog log(options(120));
        for (int i = 0; i < 10; ++i)
            log.add(QtWarningMsg, "q7rk.test", QStringLiteral("line %1").arg(i));
        log.flush();
        const QString text = read(log.fileFor(m_now.date()));
        QCOMPARE(text.count(QLatin1Char('\n')), 3); // two lines of 44 bytes, then the note
        QVERIFY(text.endsWith(QStringLiteral("今日日志已达上限，其余记录从略。\n")));
    }

    // A folder that cannot be made, or a disk that is full, stops the log and nothing else.
    void unwritableStopsTheLogOnly() {
        QFile blocker(m_dir.filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        DailyLog nowhere({blocker.fileName(), "q7rk", 30, 1 << 20, [this] { return m_now; }});
        nowhere.add(QtWarningMsg, "q7rk.test", "dropped");
        nowhere.flush();
        QVERIFY(nowhere.stopReason().contains(QStringLiteral("cannot make")));

        if (!QFile::exists("/dev/full")) QSKIP("no /dev/full here");
        QTemporaryDir other;
        DailyLog full({other.path(), "q7rk", 30, 1 << 20, [this] { return m_now; }});
        QVERIFY(QFile::link("/dev/full", full.fileFor(m_now.date())));
        full.add(QtWarningMsg, "q7rk.test", "first");
        full.flush();
        QVERIFY2(full.stopReason().contains(QStringLiteral("cannot write")),
                 qPrintable(full.stopReason()));
        full.add(QtWarningMsg, "q7rk.test", "second"); // dropped, quietly
        full.flush();
    }
};

QTEST_GUILESS_MAIN(DailyLogTest)
#include "tst_dailylog.moc"
