#include "RecoveryJournal.h"

#include "kinds/TestKindDescription.h"
#include "results/ResultSchema.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>
#include <functional>

namespace q7rk {

namespace {

const QString kTable = QStringLiteral("\"待保存测试\"");

QString failure(const QString& path, const QString& cause) {
    return QStringLiteral("无法写入恢复日志 %1：%2").arg(QDir::toNativeSeparators(path), cause);
}

// One connection per operation, gone when it ends; the journal is written rarely.
class JournalConnection {
public:
    explicit JournalConnection(const QString& path) {
        static std::atomic<quint64> counter{0};
        m_name = QStringLiteral("q7rk-journal-%1").arg(++counter);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
        if (!db.open()) m_error = db.lastError().text();
    }
    ~JournalConnection() {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            if (db.isOpen()) db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    JournalConnection(const JournalConnection&) = delete;
    JournalConnection& operator=(const JournalConnection&) = delete;

    const QString& error() const { return m_error; }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

    // Runs the statements in one transaction that survives a power cut once it returns.
    QString transaction(const std::function<bool(QSqlQuery&)>& work) {
        QSqlQuery q(db());
        q.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
        q.exec(QStringLiteral("PRAGMA synchronous=FULL"));
        if (!q.exec(QStringLiteral("BEGIN IMMEDIATE"))) return q.lastError().text();
        if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (\"通道\" INTEGER PRIMARY KEY, "
                                   "\"测试\" TEXT NOT NULL)")
                        .arg(kTable)) ||
            !work(q)) {
            const QString cause = q.lastError().text();
            QSqlQuery(db()).exec(QStringLiteral("ROLLBACK"));
            return cause;
        }
        if (!q.exec(QStringLiteral("COMMIT"))) return q.lastError().text();
        return {};
    }

private:
    QString m_name;
    QString m_error;
};

// The samples go as the numbers they are: JSON keeps every bit of a double.
QByteArray entryJson(const JournalEntry& e) {
    QJsonArray values;
    for (const QString& v : e.test.values)
        values.append(v);
    QJsonObject o{{"kind", kindKey(e.test.kind)},
                  {"values", values},
                  {"curve", curveToJson(e.test.curve)},
                  {"verdict", e.verdict},
                  {"serial", e.pieceSerial}};
    if (e.test.conditions) o.insert("conditions", conditionsToJson(*e.test.conditions));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<JournalEntry> entryFrom(int channel, const QByteArray& json) {
    const QJsonObject o = QJsonDocument::fromJson(json).object();
    const std::optional<TestKind> kind = kindFromKey(o.value("kind").toString());
    if (!kind || channel < 0 || channel >= ChannelCount) return std::nullopt;
    JournalEntry e;
    e.channel = channel;
    e.test.kind = *kind;
    for (const QJsonValue& v : o.value("values").toArray())
        e.test.values << v.toString();
    // A test journalled before fields were added (they come last) gets them blank.
    const auto fields = description(*kind).fields;
    while (e.test.values.size() < qsizetype(fields.size()) &&
           fields[std::size_t(e.test.values.size())].addedLater)
        e.test.values << QString();
    if (e.test.values.size() != qsizetype(fields.size())) return std::nullopt;
    e.test.curve = curveFromJson(o.value("curve").toArray());
    if (o.contains("conditions"))
        e.test.conditions = conditionsFromJson(o.value("conditions").toObject());
    e.verdict = o.value("verdict").toString();
    e.pieceSerial = o.value("serial").toString();
    return e;
}

} // namespace

QString RecoveryJournal::path() const {
    const QDir folder = m_folder.isEmpty() ? QDir::current() : QDir(m_folder);
    return folder.absoluteFilePath(QString::fromLatin1(FileName));
}

QString RecoveryJournal::keep(const JournalEntry& entry) {
    const QString file = path();
    JournalConnection c(file);
    if (!c.error().isEmpty()) return failure(file, c.error());
    const QString cause = c.transaction([&](QSqlQuery& q) {
        q.prepare(QStringLiteral("INSERT OR REPLACE INTO %1 VALUES (?, ?)").arg(kTable));
        q.addBindValue(entry.channel);
        q.addBindValue(QString::fromUtf8(entryJson(entry)));
        return q.exec();
    });
    return cause.isEmpty() ? QString() : failure(file, cause);
}

QString RecoveryJournal::drop(int channel) {
    return remove(QStringLiteral(" WHERE \"通道\" = %1").arg(channel));
}

QString RecoveryJournal::dropAll() {
    return remove(QString());
}

// An empty journal leaves no file behind: the folder shows one only while a test waits.
QString RecoveryJournal::remove(const QString& where) {
    const QString file = path();
    if (!QFile::exists(file)) return {};
    bool empty = false;
    {
        JournalConnection c(file);
        if (!c.error().isEmpty()) return failure(file, c.error());
        const QString cause = c.transaction([&](QSqlQuery& q) {
            if (!q.exec(QStringLiteral("DELETE FROM %1%2").arg(kTable, where)) ||
                !q.exec(QStringLiteral("SELECT count(*) FROM %1").arg(kTable)) || !q.next())
                return false;
            empty = q.value(0).toInt() == 0;
            return true;
        });
        if (!cause.isEmpty()) return failure(file, cause);
    }
    if (empty) QFile::remove(file);
    return {};
}

RecoveryJournal::Contents RecoveryJournal::read() const {
    Contents out;
    const QString file = path();
    if (!QFile::exists(file)) return out;
    JournalConnection c(file);
    const auto unreadable = [&](const QString& cause) {
        out.error =
            QStringLiteral("无法读取恢复日志 %1：%2").arg(QDir::toNativeSeparators(file), cause);
        return out;
    };
    if (!c.error().isEmpty()) return unreadable(c.error());
    QSqlQuery q(c.db());
    if (!q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name = "
                               "'待保存测试'")))
        return unreadable(q.lastError().text());
    if (!q.next()) return out;
    if (!q.exec(QStringLiteral("SELECT \"通道\", \"测试\" FROM %1 ORDER BY \"通道\"").arg(kTable)))
        return unreadable(q.lastError().text());
    while (q.next()) {
        const auto entry = entryFrom(q.value(0).toInt(), q.value(1).toString().toUtf8());
        if (entry)
            out.entries << *entry;
        else // the others are still offered
            unreadable(QStringLiteral("第%1路的记录已损坏").arg(q.value(0).toInt() + 1));
    }
    return out;
}

} // namespace q7rk
