#include "DiagnosticsArchive.h"

#include "diagnostics/Redaction.h"
#include "diagnostics/ZipWriter.h"
#include "kinds/TestKindDescription.h"
#include "logging/DailyLog.h"
#include "plant/OdbcSources.h"
#include "plant/PlantTexts.h"
#include "plant/UploadQueue.h"
#include "results/ResultStore.h"
#include "settings/SettingsStore.h"
#include "version/Version.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSysInfo>
#include <atomic>
#include <sqlite3.h>

namespace q7rk {

namespace {

using redaction::Redactor;

QString timeText(const QDateTime& t) {
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

// One text file of the archive, built line by line.
struct Text {
    QString body;
    Text& line(const QString& s = {}) {
        body += s + QLatin1Char('\n');
        return *this;
    }
};

// Where the pieces come from, and what they came to.
class Collector {
public:
    Collector(const DiagnosticsInput& input, ZipWriter& zip)
        : m_in(input), m_zip(zip),
          m_now(input.now.isValid() ? input.now : QDateTime::currentDateTime()) {}

    bool add(const QString& name, const QByteArray& data, const QDateTime& modified = {}) {
        const QByteArray shown = m_redactor.scrub(data);
        if (!m_zip.add(name, shown, modified.isValid() ? modified : m_now)) return false;
        m_entries << QStringLiteral("%1（%2 字节）").arg(name).arg(shown.size());
        m_names << name;
        return true;
    }
    bool add(const QString& name, const Text& text) { return add(name, text.body.toUtf8()); }

    // The parts that find passwords come first, so that the logs after them are scrubbed of
    // the passwords found.
    bool collect() {
        const Text settings = this->settings();
        const Text odbc = sources();
        return add(QStringLiteral("settings.ini"), settings) &&
               add(QStringLiteral("odbc.txt"), odbc) &&
               add(QStringLiteral("versions.txt"), versions()) &&
               add(QStringLiteral("results.txt"), results()) &&
               add(QStringLiteral("plant-queue.txt"), queue()) && logs() && traces() &&
               add(QStringLiteral("summary.txt"), summary());
    }

    const QStringList& names() const { return m_names; }
    const QStringList& notes() const { return m_notes; }

private:
    void note(const QString& text) { m_notes << text; }

    Text settings() {
        Text t;
        t.line(QStringLiteral("; 设置文件 %1（密码已替换为%2）")
                   .arg(m_in.settingsFile, QLatin1String(redaction::Mask)));
        if (!QFileInfo::exists(m_in.settingsFile)) {
            note(QStringLiteral("设置文件不存在：%1").arg(m_in.settingsFile));
            return t.line(QStringLiteral("; 文件不存在"));
        }
        const SettingsStore store(m_in.settingsFile);
        QString section;
        for (const SettingsStore::Value& v : store.values()) {
            if (v.section != section) {
                if (!section.isEmpty()) t.line();
                section = v.section;
                t.line(QLatin1Char('[') + section + QLatin1Char(']'));
            }
            QString value = m_redactor.value(v.key, v.value);
            value.replace(QLatin1Char('\n'), QLatin1String("\\n"));
            t.line(v.key + QLatin1Char('=') + value);
        }
        return t;
    }

    void sectionsOf(Text& t, const QString& file) {
        if (!QFileInfo::exists(file)) {
            t.line(QStringLiteral("（文件不存在）"));
            return;
        }
        const QList<OdbcSources::Section> sections = OdbcSources::sections(file);
        if (sections.isEmpty()) t.line(QStringLiteral("（没有数据源）"));
        for (const OdbcSources::Section& s : sections) {
            t.line(QLatin1Char('[') + s.name + QLatin1Char(']'));
            for (const auto& [key, value] : s.keys)
                t.line(key + QLatin1Char('=') + m_redactor.value(key, value));
        }
    }

    Text sources() {
        Text t;
        t.line(QStringLiteral("ODBC数据源（密码已去掉）"));
        t.line().line(QStringLiteral("用户数据源 %1").arg(OdbcSources::userFile()));
        sectionsOf(t, OdbcSources::userFile());
        t.line().line(QStringLiteral("系统数据源 %1").arg(OdbcSources::systemFile()));
        sectionsOf(t, OdbcSources::systemFile());
        return t;
    }

    static QString sqliteOfQt() {
        static std::atomic<int> counter{0};
        const QString name = QStringLiteral("q7rk-diagnostics-%1").arg(++counter);
        QString version;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(QStringLiteral(":memory:"));
            QSqlQuery q(db);
            if (db.open() && q.exec(QStringLiteral("select sqlite_version()")) && q.next())
                version = q.value(0).toString();
            else
                version = QStringLiteral("无法读取：") + db.lastError().text().simplified();
        }
        QSqlDatabase::removeDatabase(name);
        return version;
    }

    static QString driverManager() {
        QProcess odbcinst;
        odbcinst.start(QStringLiteral("odbcinst"), {QStringLiteral("--version")});
        if (!odbcinst.waitForFinished(5000) || odbcinst.exitCode() != 0) {
            odbcinst.kill();
            odbcinst.waitForFinished(1000);
            return QStringLiteral("未知（odbcinst 不可用：%1）").arg(odbcinst.errorString());
        }
        return QString::fromLocal8Bit(odbcinst.readAllStandardOutput()).trimmed();
    }

    Text versions() {
        Text t;
        t.line(QStringLiteral("程序: %1 %2（构建日期 %3）")
                   .arg(m_in.program, QString::fromLatin1(version::Number),
                        QString::fromLatin1(version::BuildDate)));
        t.line(QStringLiteral("Qt: %1（构建时 %2）")
                   .arg(QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR)));
        t.line(QStringLiteral("SQLite: %1（Qt的SQLite驱动: %2）")
                   .arg(QString::fromLatin1(sqlite3_libversion()), sqliteOfQt()));
        t.line(QStringLiteral("Qt数据库驱动: %1")
                   .arg(QSqlDatabase::drivers().join(QLatin1String(", "))));
        t.line(QStringLiteral("操作系统: %1，内核 %2 %3，%4")
                   .arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(),
                        QSysInfo::kernelVersion(), QSysInfo::currentCpuArchitecture()));
        t.line(QStringLiteral("ODBC驱动管理器: %1").arg(driverManager()));
        const QString drivers = OdbcSources::driversFile();
        t.line().line(QStringLiteral("已安装的ODBC驱动（%1）").arg(drivers));
        if (!QFileInfo::exists(drivers)) t.line(QStringLiteral("（文件不存在）"));
        for (const OdbcSources::Section& s : OdbcSources::sections(drivers)) {
            t.line(QLatin1Char('[') + s.name + QLatin1Char(']'));
            for (const auto& [key, value] : s.keys) {
                QString shown = m_redactor.value(key, value);
                if (key.compare(QLatin1String("Driver"), Qt::CaseInsensitive) == 0)
                    shown += QStringLiteral("  →  ") + library(value);
                t.line(key + QLatin1Char('=') + shown);
            }
        }
        return t;
    }

    // The library a driver entry names: the file it is (a versioned name behind a link),
    // its size and date.
    static QString library(const QString& driver) {
        const QString path = OdbcSources::driverLibrary(driver);
        if (path.isEmpty()) return QStringLiteral("未找到");
        const QFileInfo file(QFileInfo(path).canonicalFilePath());
        return QStringLiteral("%1（%2 字节，%3）")
            .arg(file.filePath())
            .arg(file.size())
            .arg(file.lastModified().toString(QStringLiteral("yyyy-MM-dd")));
    }

    Text results() {
        Text t;
        t.line(QStringLiteral("结果文件（%1）").arg(m_in.dataFolder));
        const ResultStore store(m_in.dataFolder);
        for (TestKind kind : allKinds()) {
            const QFileInfo file(store.locateDbFile(kind));
            const QString head =
                QStringLiteral("%1（%2测试）")
                    .arg(file.fileName(), QString::fromUtf8(description(kind).name));
            if (!file.exists()) {
                t.line(head + QStringLiteral("：不存在"));
                continue;
            }
            t.line(head + QStringLiteral("：%1 字节").arg(file.size()));
            QString error;
            bool readable = false;
            const auto tables = store.tableRows(kind, &error);
            const qsizetype tests = store.storedKeys(kind, &readable).size();
            if (!tables) {
                t.line(QStringLiteral("  无法读取：") + error);
                note(QStringLiteral("结果文件 %1 无法读取：%2").arg(file.fileName(), error));
                continue;
            }
            t.line(readable ? QStringLiteral("  测试: %1").arg(tests)
                            : QStringLiteral("  测试: 无法读取"));
            for (const auto& [table, rows] : *tables)
                t.line(QStringLiteral("  表 %1: %2 行").arg(table).arg(rows));
        }
        return t;
    }

    Text queue() {
        const QString path =
            m_in.queueFile.isEmpty()
                ? QDir(m_in.dataFolder).filePath(QString::fromLatin1(UploadQueue::FileName))
                : m_in.queueFile;
        Text t;
        t.line(QStringLiteral("工厂数据待传队列 %1").arg(path));
        if (!QFileInfo::exists(path)) return t.line(QStringLiteral("（文件不存在：没有待传的片）"));
        const auto entries = UploadQueue(path).entries();
        if (!entries.ok()) {
            note(entries.status.message);
            return t.line(QStringLiteral("无法读取：") + entries.status.message);
        }
        t.line(QStringLiteral("%1 条").arg(entries.value.size()));
        t.line(
            QStringLiteral("序号\t卷号\t片\t状态\t原因\t入队时间\t最后尝试\t来自测试\t保存时间"));
        for (const QueuedUpload& e : entries.value) {
            const QString origin = e.origin ? shownKey(e.origin->key) : QString();
            const QString saved = e.origin ? timeText(e.origin->saved) : QString();
            t.line(QStringList{QString::number(e.id), e.piece.serial,
                               plantTexts::pieceLabel(e.piece.curveNumber),
                               outboxStateText(e.state), e.reason.simplified(), timeText(e.queued),
                               timeText(e.tried), origin, saved}
                       .join(QLatin1Char('\t')));
        }
        return t;
    }

    bool addFile(const QFileInfo& file, qint64 tail = -1) {
        QFile f(file.filePath());
        if (!f.open(QIODevice::ReadOnly)) {
            note(QStringLiteral("无法读取 %1：%2").arg(file.fileName(), f.errorString()));
            return true;
        }
        if (tail >= 0 && tail < f.size()) f.seek(f.size() - tail);
        return add(QStringLiteral("logs/") + file.fileName(), f.readAll(), file.lastModified());
    }

    // The day files of every program, today's and those of the days before; a file without a
    // date in its name by its time.
    bool logs() {
        // What the program has queued belongs in.
        if (DailyLog* log = DailyLog::installed()) log->flush();
        static const QRegularExpression dated(QStringLiteral("(\\d{4}-\\d{2}-\\d{2})\\.log$"));
        const QDate first = m_now.date().addDays(1 - m_in.logDays);
        const QDir dir(DailyLog::folderIn(m_in.dataFolder));
        int taken = 0;
        for (const QFileInfo& file :
             dir.entryInfoList({QStringLiteral("*.log")}, QDir::Files, QDir::Name)) {
            const auto m = dated.match(file.fileName());
            const QDate day =
                m.hasMatch() ? QDate::fromString(m.captured(1), Qt::ISODate) : QDate();
            const bool recent = day.isValid() ? day >= first && day <= m_now.date()
                                              : file.lastModified() >= m_now.addDays(-m_in.logDays);
            if (!recent) continue;
            if (!addFile(file)) return false;
            ++taken;
        }
        m_logsTaken = taken;
        return true;
    }

    // The newest link traces, as many as the budget takes; of one that does not fit whole,
    // its end.
    bool traces() {
        const QDir dir(DailyLog::folderIn(m_in.dataFolder));
        const QFileInfoList all =
            dir.entryInfoList({QStringLiteral("*.trace")}, QDir::Files, QDir::Time);
        qint64 budget = m_in.traceBytes;
        for (qsizetype i = 0; i < all.size(); ++i) {
            if (i >= m_in.traceCount || budget <= 0) {
                note(QStringLiteral("较早的通讯记录 %1 个未收入").arg(all.size() - i));
                break;
            }
            const QFileInfo& file = all[i];
            if (file.size() > budget)
                note(QStringLiteral("通讯记录 %1 只收入最后 %2 字节（共 %3 字节）")
                         .arg(file.fileName())
                         .arg(budget)
                         .arg(file.size()));
            if (!addFile(file, file.size() > budget ? budget : -1)) return false;
            budget -= std::min(file.size(), budget);
            ++m_tracesTaken;
        }
        return true;
    }

    Text summary() {
        Text t;
        t.line(QStringLiteral("q7rk 诊断信息"));
        t.line(QStringLiteral("生成时间: %1（%2）")
                   .arg(timeText(m_now), m_now.timeZoneAbbreviation()));
        t.line(QStringLiteral("生成程序: %1 %2")
                   .arg(m_in.program, QString::fromLatin1(version::Number)));
        t.line(QStringLiteral("主机: %1").arg(QSysInfo::machineHostName()));
        t.line(QStringLiteral("数据文件夹: %1").arg(m_in.dataFolder));
        t.line(QStringLiteral("设置文件: %1").arg(m_in.settingsFile));
        t.line();
        t.line(QStringLiteral("内容:"));
        t.line(QStringLiteral("  summary.txt      本说明"));
        t.line(QStringLiteral("  settings.ini     设置（密码已替换为%1）")
                   .arg(QLatin1String(redaction::Mask)));
        t.line(QStringLiteral("  odbc.txt         ODBC数据源的名称、驱动和其他属性（密码已去掉）"));
        t.line(QStringLiteral("  versions.txt     程序、Qt、SQLite、操作系统和ODBC驱动的版本"));
        t.line(QStringLiteral("  results.txt      结果文件：大小、测试数、各表行数"));
        t.line(QStringLiteral("  plant-queue.txt  工厂数据待传队列：卷号、片、状态、原因、时间"));
        t.line(QStringLiteral("  logs/*.log       最近%1天的日志（%2个文件）")
                   .arg(m_in.logDays)
                   .arg(m_logsTaken));
        t.line(QStringLiteral("  logs/*.trace     最新的通讯记录（%1个）").arg(m_tracesTaken));
        t.line();
        t.line(QStringLiteral("文件:"));
        for (const QString& e : m_entries)
            t.line(QStringLiteral("  ") + e);
        if (!m_notes.isEmpty()) {
            t.line().line(QStringLiteral("未能收集或只收集了一部分:"));
            for (const QString& n : m_notes)
                t.line(QStringLiteral("  ") + n);
        }
        return t;
    }

    const DiagnosticsInput& m_in;
    ZipWriter& m_zip;
    const QDateTime m_now;
    Redactor m_redactor;
    QStringList m_entries; // with their sizes
    QStringList m_names;
    QStringList m_notes;
    int m_logsTaken = 0;
    int m_tracesTaken = 0;
};

} // namespace

DiagnosticsOutcome writeDiagnostics(const DiagnosticsInput& input, const QString& archivePath) {
    DiagnosticsOutcome out;
    const auto failed = [&](const QString& cause) {
        out.error = QStringLiteral("无法写入“%1”：%2").arg(archivePath, cause);
        return out;
    };
    if (!QFileInfo(input.dataFolder).isDir())
        return failed(QStringLiteral("数据文件夹“%1”不存在").arg(input.dataFolder));
    QSaveFile file(archivePath);
    if (!file.open(QIODevice::WriteOnly)) return failed(file.errorString());
    ZipWriter zip(file);
    Collector collector(input, zip);
    if (!collector.collect() || !zip.finish()) {
        file.cancelWriting();
        return failed(zip.error());
    }
    if (!file.commit()) return failed(file.errorString());
    out.ok = true;
    out.entries = collector.names();
    out.notes = collector.notes();
    out.bytes = QFileInfo(archivePath).size();
    return out;
}

QString diagnosticsFileName(const QDateTime& when) {
    return QStringLiteral("q7rk-诊断-%1.zip").arg(when.toString(QStringLiteral("yyyyMMdd-HHmm")));
}

} // namespace q7rk
