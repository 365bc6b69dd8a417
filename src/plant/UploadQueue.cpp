#include "UploadQueue.h"

#include "plant/PlantTexts.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <atomic>

namespace q7rk {

namespace {

// One connection to the queue file per operation.
class QueueFile {
public:
    explicit QueueFile(const QString& path) {
        static std::atomic<quint64> next{0};
        m_name = QStringLiteral("q7rk-plant-queue-%1").arg(++next);
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        m_db.setDatabaseName(path);
        m_ok = m_db.open() &&
               QSqlQuery(m_db).exec(QStringLiteral(
                   "create table if not exists uploads (id integer primary key autoincrement, "
                   "serial text not null, curve integer not null, piece text not null, "
                   "reason text, queued text, tried text, held integer not null default 0)")) &&
               addLaterColumns();
    }
    ~QueueFile() {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
    QueueFile(const QueueFile&) = delete;
    QueueFile& operator=(const QueueFile&) = delete;

    bool ok() const { return m_ok; }
    QSqlDatabase& db() { return m_db; }

private:
    // A queue file of an older program has neither times nor the held mark; another
    // connection may be adding them at the same moment, so only the result counts.
    bool addLaterColumns() {
        if (hasHeldColumn()) return true;
        for (const char* sql : {"alter table uploads add column queued text",
                                "alter table uploads add column tried text",
                                "alter table uploads add column held integer not null default 0"})
            QSqlQuery(m_db).exec(QString::fromLatin1(sql));
        return hasHeldColumn();
    }
    bool hasHeldColumn() {
        QSqlQuery q(m_db);
        if (!q.exec(QStringLiteral("pragma table_info(uploads)"))) return false;
        while (q.next())
            if (q.value(1).toString() == QLatin1String("held")) return true;
        return false;
    }

    QString m_name;
    QSqlDatabase m_db;
    bool m_ok = false;
};

bool run(QSqlDatabase& db, const QString& sql, const QVariantList& values) {
    QSqlQuery q(db);
    if (!q.prepare(sql)) return false;
    for (const QVariant& v : values)
        q.addBindValue(v);
    return q.exec();
}

QJsonObject toJson(const PieceUpload& p) {
    QJsonArray curve;
    for (float v : p.curve)
        curve.append(double(v));
    QJsonObject o{
        {"serial", p.serial},
        {"curveNumber", p.curveNumber},
        {"cells", QJsonArray{p.cells.specificCapacitance, p.cells.bend, p.cells.pull}},
        {"run", QJsonArray{p.riseTime, p.maxVoltage, p.tvValue}},
        {"date", p.date.toString(Qt::ISODate)},
        {"curve", curve},
    };
    // A piece sent without whole-roll data has no "foil".
    if (const auto& f = p.foil)
        o.insert("foil", QJsonArray{f->serial, f->grade, f->vf, f->length, f->area, f->weight,
                                    f->iqNumber, f->productionLine, f->joints});
    return o;
}

QString stamp(const QDateTime& t) {
    return t.toString(Qt::ISODate);
}

constexpr const char* kEntryColumns = "select id,piece,reason,queued,tried,held from uploads";

PieceUpload fromJson(const QJsonObject& o) {
    PieceUpload p;
    p.serial = o.value("serial").toString();
    p.curveNumber = o.value("curveNumber").toInt();
    const QJsonArray f = o.value("foil").toArray();
    if (o.contains("foil"))
        p.foil = FoilRecord{f.at(0).toString(), f.at(1).toString(), f.at(2).toString(),
                            f.at(3).toString(), f.at(4).toString(), f.at(5).toString(),
                            f.at(6).toString(), f.at(7).toString(), f.at(8).toString()};
    const QJsonArray c = o.value("cells").toArray();
    p.cells = PieceCells{c.at(0).toString(), c.at(1).toString(), c.at(2).toString()};
    const QJsonArray r = o.value("run").toArray();
    p.riseTime = r.at(0).toString();
    p.maxVoltage = r.at(1).toString();
    p.tvValue = r.at(2).toString();
    p.date = QDate::fromString(o.value("date").toString(), Qt::ISODate);
    for (const QJsonValue v : o.value("curve").toArray())
        p.curve.push_back(float(v.toDouble()));
    return p;
}

QueuedUpload entryOf(const QSqlQuery& q) {
    const QJsonDocument doc = QJsonDocument::fromJson(q.value(1).toString().toUtf8());
    return {q.value(0).toLongLong(),
            fromJson(doc.object()),
            q.value(2).toString(),
            QDateTime::fromString(q.value(3).toString(), Qt::ISODate),
            QDateTime::fromString(q.value(4).toString(), Qt::ISODate),
            q.value(5).toInt() != 0};
}

} // namespace

UploadQueue::UploadQueue(QString path) : m_path(std::move(path)) {}

PlantStatus UploadQueue::failure() const {
    return PlantStatus::failure(PlantFault::LocalStore, plantTexts::queueFailed(m_path));
}

PlantStatus UploadQueue::add(const PieceUpload& piece, const QString& reason) const {
    QueueFile file(m_path);
    if (!file.ok() || !file.db().transaction()) return failure();
    const QString json =
        QString::fromUtf8(QJsonDocument(toJson(piece)).toJson(QJsonDocument::Compact));
    const QString now = stamp(QDateTime::currentDateTime());
    const bool done =
        run(file.db(), QStringLiteral("delete from uploads where serial=? and curve=?"),
            {piece.serial, piece.curveNumber}) &&
        run(file.db(),
            QStringLiteral("insert into uploads (serial,curve,piece,reason,queued,tried,held) "
                           "values (?,?,?,?,?,?,0)"),
            {piece.serial, piece.curveNumber, json, reason, now, now}) &&
        file.db().commit();
    if (!done) {
        file.db().rollback();
        return failure();
    }
    return PlantStatus::success();
}

PlantReply<int> UploadQueue::count() const {
    const auto c = counts();
    return {c.value.total, c.status};
}

PlantReply<QueueCounts> UploadQueue::counts() const {
    if (!QFileInfo::exists(m_path)) return {};
    QueueFile file(m_path);
    QSqlQuery q(file.db());
    if (!file.ok() ||
        !q.exec(QStringLiteral("select count(*), coalesce(sum(held),0) from uploads")) || !q.next())
        return PlantReply<QueueCounts>::failed(failure());
    return {{q.value(0).toInt(), q.value(1).toInt()}, {}};
}

PlantReply<std::vector<QueuedUpload>> UploadQueue::entries() const {
    using Reply = PlantReply<std::vector<QueuedUpload>>;
    if (!QFileInfo::exists(m_path)) return {};
    QueueFile file(m_path);
    QSqlQuery q(file.db());
    if (!file.ok() || !q.exec(QString::fromLatin1(kEntryColumns) + QStringLiteral(" order by id")))
        return Reply::failed(failure());
    std::vector<QueuedUpload> out;
    while (q.next())
        out.push_back(entryOf(q));
    return {std::move(out), {}};
}

PlantReply<std::optional<QueuedUpload>> UploadQueue::entry(qint64 id) const {
    using Reply = PlantReply<std::optional<QueuedUpload>>;
    if (!QFileInfo::exists(m_path)) return {};
    QueueFile file(m_path);
    QSqlQuery q(file.db());
    if (!file.ok() ||
        !q.prepare(QString::fromLatin1(kEntryColumns) + QStringLiteral(" where id=?")))
        return Reply::failed(failure());
    q.addBindValue(id);
    if (!q.exec()) return Reply::failed(failure());
    if (!q.next()) return {};
    return {entryOf(q), {}};
}

PlantStatus UploadQueue::noteFailure(qint64 id, const QString& reason, bool held) const {
    QueueFile file(m_path);
    if (!file.ok() ||
        !run(file.db(), QStringLiteral("update uploads set reason=?, tried=?, held=? where id=?"),
             {reason, stamp(QDateTime::currentDateTime()), held ? 1 : 0, id}))
        return failure();
    return PlantStatus::success();
}

PlantReply<bool> UploadQueue::holds(const QString& serial, int curveNumber) const {
    if (!QFileInfo::exists(m_path)) return {false, {}};
    QueueFile file(m_path);
    QSqlQuery q(file.db());
    if (!file.ok() ||
        !q.prepare(QStringLiteral("select count(*) from uploads where serial=? and curve=?")))
        return PlantReply<bool>::failed(failure());
    q.addBindValue(serial);
    q.addBindValue(curveNumber);
    if (!q.exec() || !q.next()) return PlantReply<bool>::failed(failure());
    return {q.value(0).toInt() > 0, {}};
}

PlantStatus UploadQueue::remove(qint64 id) const {
    QueueFile file(m_path);
    if (!file.ok() || !run(file.db(), QStringLiteral("delete from uploads where id=?"), {id}))
        return failure();
    return PlantStatus::success();
}

PlantStatus UploadQueue::removePiece(const QString& serial, int curveNumber) const {
    if (!QFileInfo::exists(m_path)) return PlantStatus::success();
    QueueFile file(m_path);
    if (!file.ok() ||
        !run(file.db(), QStringLiteral("delete from uploads where serial=? and curve=?"),
             {serial, curveNumber}))
        return failure();
    return PlantStatus::success();
}

} // namespace q7rk
