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
                   "reason text)"));
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
    const bool done =
        run(file.db(), QStringLiteral("delete from uploads where serial=? and curve=?"),
            {piece.serial, piece.curveNumber}) &&
        run(file.db(),
            QStringLiteral("insert into uploads (serial,curve,piece,reason) values (?,?,?,?)"),
            {piece.serial, piece.curveNumber, json, reason}) &&
        file.db().commit();
    if (!done) {
        file.db().rollback();
        return failure();
    }
    return PlantStatus::success();
}

PlantReply<int> UploadQueue::count() const {
    if (!QFileInfo::exists(m_path)) return {0, {}};
    QueueFile file(m_path);
    QSqlQuery q(file.db());
    if (!file.ok() || !q.exec(QStringLiteral("select count(*) from uploads")) || !q.next())
        return PlantReply<int>::failed(failure());
    return {q.value(0).toInt(), {}};
}

PlantReply<std::vector<QueuedUpload>> UploadQueue::entries() const {
    using Reply = PlantReply<std::vector<QueuedUpload>>;
    if (!QFileInfo::exists(m_path)) return {};
    QueueFile file(m_path);
    QSqlQuery q(file.db());
    if (!file.ok() || !q.exec(QStringLiteral("select id,piece,reason from uploads order by id")))
        return Reply::failed(failure());
    std::vector<QueuedUpload> out;
    while (q.next()) {
        const QJsonDocument doc = QJsonDocument::fromJson(q.value(1).toString().toUtf8());
        out.push_back({q.value(0).toLongLong(), fromJson(doc.object()), q.value(2).toString()});
    }
    return {std::move(out), {}};
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
