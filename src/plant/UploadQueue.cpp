#include "UploadQueue.h"

#include "plant/PlantLog.h"
#include "plant/PlantTexts.h"

#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>

namespace q7rk {

namespace {

constexpr const char* StateNames[] = {"unasked", "declined", "waiting", "held", "superseded"};

QString stateName(OutboxState s) {
    return QString::fromLatin1(StateNames[int(s)]);
}

OutboxState stateNamed(const QString& name, bool held) {
    for (int i = 0; i < 5; ++i)
        if (name == QLatin1String(StateNames[i])) return OutboxState(i);
    // Entries of older files have no state: the held mark says it.
    return held ? OutboxState::Held : OutboxState::Waiting;
}

// The outbox's tables in `schema` (the file's own "main", or the name it is attached under
// to a save). Files of older programs get the columns they lack; another connection may add
// them at the same moment, so only the result counts.
bool createTables(QSqlDatabase& db, const QString& schema) {
    QSqlQuery q(db);
    const bool made =
        q.exec(QStringLiteral("create table if not exists %1.uploads (id integer primary key "
                              "autoincrement, serial text not null, curve integer not null, "
                              "piece text not null, reason text, queued text, tried text, "
                              "held integer not null default 0)")
                   .arg(schema)) &&
        q.exec(QStringLiteral("create table if not exists %1.sent (id integer primary key, "
                              "serial text not null, curve integer not null, test_number text, "
                              "after_boiling integer, saved text, sent text not null)")
                   .arg(schema));
    if (!made) return false;
    const auto columns = [&] {
        QStringList names;
        if (q.exec(QStringLiteral("pragma %1.table_info(uploads)").arg(schema)))
            while (q.next())
                names << q.value(1).toString();
        return names;
    };
    QStringList have = columns();
    for (const char* column :
         {"queued text", "tried text", "held integer not null default 0", "state text",
          "test_number text", "after_boiling integer", "saved text"}) {
        const QString c = QString::fromLatin1(column);
        if (!have.contains(c.section(QLatin1Char(' '), 0, 0)))
            q.exec(QStringLiteral("alter table %1.uploads add column %2").arg(schema, c));
    }
    have = columns();
    return have.contains(QLatin1String("state")) && have.contains(QLatin1String("saved"));
}

// One connection to the outbox file per operation.
class QueueFile {
public:
    explicit QueueFile(const QString& path) {
        static std::atomic<quint64> next{0};
        m_name = QStringLiteral("q7rk-plant-queue-%1").arg(++next);
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        m_db.setDatabaseName(path);
        m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
        m_ok = m_db.open();
        if (m_ok) {
            QSqlQuery q(m_db);
            q.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
            q.exec(QStringLiteral("PRAGMA synchronous=FULL"));
            m_ok = createTables(m_db, QStringLiteral("main"));
        }
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

bool run(QSqlDatabase& db, const QString& sql, const QVariantList& values,
         QSqlError* error = nullptr) {
    QSqlQuery q(db);
    const bool done = q.prepare(sql) && [&] {
        for (const QVariant& v : values)
            q.addBindValue(v);
        return q.exec();
    }();
    if (!done && error) *error = q.lastError();
    return done;
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
    if (p.keepPlantCells) o.insert("keepPlantCells", true);
    // A piece sent without whole-roll data has no "foil".
    if (const auto& f = p.foil)
        o.insert("foil", QJsonArray{f->serial, f->grade, f->vf, f->length, f->area, f->weight,
                                    f->iqNumber, f->productionLine, f->joints});
    return o;
}

QString pieceText(const PieceUpload& piece) {
    return QString::fromUtf8(QJsonDocument(toJson(piece)).toJson(QJsonDocument::Compact));
}

QString stamp(const QDateTime& t) {
    return t.toString(Qt::ISODateWithMs);
}

QString now() {
    return stamp(QDateTime::currentDateTime());
}

constexpr const char* kEntryColumns = "select id,piece,reason,queued,tried,held,state,"
                                      "test_number,after_boiling,saved from uploads";

PieceUpload fromJson(const QJsonObject& o) {
    PieceUpload p;
    p.serial = o.value("serial").toString();
    p.curveNumber = o.value("curveNumber").toInt();
    p.keepPlantCells = o.value("keepPlantCells").toBool();
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

QDateTime timeOf(const QVariant& v) {
    return QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
}

QueuedUpload entryOf(const QSqlQuery& q) {
    const QJsonDocument doc = QJsonDocument::fromJson(q.value(1).toString().toUtf8());
    QueuedUpload e{q.value(0).toLongLong(),
                   fromJson(doc.object()),
                   q.value(2).toString(),
                   timeOf(q.value(3)),
                   timeOf(q.value(4)),
                   stateNamed(q.value(6).toString(), q.value(5).toInt() != 0),
                   std::nullopt};
    if (!q.value(7).isNull())
        e.origin =
            OutboxOrigin{{q.value(7).toString(), q.value(8).toInt() != 0}, timeOf(q.value(9))};
    return e;
}

// Older entries of the same piece can no longer be sent: they would overwrite this one.
bool supersedeOlder(QSqlDatabase& db, const QString& schema, const QString& serial, int curve,
                    qint64 id, QSqlError* error = nullptr) {
    return run(db,
               QStringLiteral("update %1.uploads set state='superseded', held=1 "
                              "where serial=? and curve=? and id<?")
                   .arg(schema),
               {serial, curve, id}, error);
}

} // namespace

UploadQueue::UploadQueue(QString path) : m_path(std::move(path)) {}

PlantStatus UploadQueue::failure() const {
    qCWarning(plantLog).noquote() << "the plant outbox" << m_path << "cannot be read or written";
    return PlantStatus::failure(PlantFault::LocalStore, plantTexts::queueFailed(m_path));
}

UploadQueue::WithSave UploadQueue::withSave(const PieceUpload& piece,
                                            std::shared_ptr<qint64> id) const {
    const QString text = pieceText(piece);
    return {m_path,
            [piece, text, id](QSqlDatabase& db, const QString& schema,
                              const TestKey& key) -> QSqlError {
                QSqlError e;
                if (!createTables(db, schema)) {
                    QSqlQuery q(db);
                    q.exec(QStringLiteral("select 1 from %1.uploads").arg(schema));
                    return q.lastError().isValid()
                               ? q.lastError()
                               : QSqlError({}, QStringLiteral("outbox"), QSqlError::UnknownError);
                }
                const QString at = now();
                QSqlQuery q(db);
                q.prepare(QStringLiteral("insert into %1.uploads (serial,curve,piece,reason,queued,"
                                         "tried,held,state,test_number,after_boiling,saved) "
                                         "values (?,?,?,'',?,null,1,'unasked',?,?,?)")
                              .arg(schema));
                for (const QVariant& v : QVariantList{piece.serial, piece.curveNumber, text, at,
                                                      key.number, key.afterBoiling ? 1 : 0, at})
                    q.addBindValue(v);
                if (!q.exec()) return q.lastError();
                const qint64 made = q.lastInsertId().toLongLong();
                if (!supersedeOlder(db, schema, piece.serial, piece.curveNumber, made, &e))
                    return e;
                if (id) *id = made;
                return {};
            }};
}

PlantReply<qint64> UploadQueue::add(const PieceUpload& piece, OutboxState state,
                                    const QString& reason,
                                    const std::optional<OutboxOrigin>& origin) const {
    using Reply = PlantReply<qint64>;
    QueueFile file(m_path);
    if (!file.ok() || !file.db().transaction()) return Reply::failed(failure());
    QSqlQuery q(file.db());
    q.prepare(QStringLiteral("insert into uploads (serial,curve,piece,reason,queued,tried,held,"
                             "state,test_number,after_boiling,saved) "
                             "values (?,?,?,?,?,?,?,?,?,?,?)"));
    const QString at = now();
    const QVariant none;
    for (const QVariant& v :
         QVariantList{piece.serial, piece.curveNumber, pieceText(piece), reason, at, at,
                      state == OutboxState::Waiting ? 0 : 1, stateName(state),
                      origin ? QVariant(origin->key.number) : none,
                      origin ? QVariant(origin->key.afterBoiling ? 1 : 0) : none,
                      origin ? QVariant(stamp(origin->saved)) : none})
        q.addBindValue(v);
    const bool done = q.exec();
    const qint64 id = q.lastInsertId().toLongLong();
    if (!done ||
        !supersedeOlder(file.db(), QStringLiteral("main"), piece.serial, piece.curveNumber, id) ||
        !file.db().commit()) {
        file.db().rollback();
        return Reply::failed(failure());
    }
    return {id, {}};
}

PlantReply<int> UploadQueue::count() const {
    const auto c = counts();
    return {c.value.total, c.status};
}

PlantReply<QueueCounts> UploadQueue::counts() const {
    if (!QFileInfo::exists(m_path)) return {};
    QueueFile file(m_path);
    QSqlQuery q(file.db());
    // Entries of older files have no state: their held mark says it.
    if (!file.ok() ||
        !q.exec(QStringLiteral(
            "select count(*), coalesce(sum(state <> 'waiting'), 0) from (select coalesce(state, "
            "case when held=1 then 'held' else 'waiting' end) as state from uploads) "
            "where state <> 'superseded'")) ||
        !q.next())
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

PlantReply<bool> UploadQueue::superseded(const QueuedUpload& e) const {
    QueueFile file(m_path);
    QSqlQuery q(file.db());
    if (!file.ok() ||
        !q.prepare(QStringLiteral("select (select count(*) from uploads where serial=? and "
                                  "curve=? and id>?) + (select count(*) from sent where "
                                  "serial=? and curve=? and id>?)")))
        return PlantReply<bool>::failed(failure());
    for (const QVariant& v : QVariantList{e.piece.serial, e.piece.curveNumber, e.id, e.piece.serial,
                                          e.piece.curveNumber, e.id})
        q.addBindValue(v);
    if (!q.exec() || !q.next()) return PlantReply<bool>::failed(failure());
    return {q.value(0).toInt() > 0, {}};
}

PlantStatus UploadQueue::setState(qint64 id, OutboxState state, const QString& reason) const {
    // The operator's No is no attempt: 最近补传 keeps the last one.
    const QVariant tried =
        state == OutboxState::Declined ? QVariant(QMetaType::fromType<QString>()) : QVariant(now());
    QueueFile file(m_path);
    if (!file.ok() ||
        !run(file.db(),
             QStringLiteral("update uploads set reason=?, tried=coalesce(?, tried), held=?, "
                            "state=? where id=?"),
             {reason, tried, state == OutboxState::Waiting ? 0 : 1, stateName(state), id}))
        return failure();
    return PlantStatus::success();
}

PlantStatus UploadQueue::markSent(qint64 id) const {
    QueueFile file(m_path);
    if (!file.ok() || !file.db().transaction()) return failure();
    const bool done =
        run(file.db(),
            QStringLiteral("insert or replace into sent (id,serial,curve,test_number,"
                           "after_boiling,saved,sent) select id,serial,curve,test_number,"
                           "after_boiling,saved,? from uploads where id=?"),
            {now(), id}) &&
        run(file.db(), QStringLiteral("delete from uploads where id=?"), {id}) &&
        file.db().commit();
    if (!done) {
        file.db().rollback();
        return failure();
    }
    return PlantStatus::success();
}

PlantStatus UploadQueue::remove(qint64 id) const {
    QueueFile file(m_path);
    if (!file.ok() || !run(file.db(), QStringLiteral("delete from uploads where id=?"), {id}))
        return failure();
    return PlantStatus::success();
}

PlantReply<bool> UploadQueue::replacePiece(qint64 id, const PieceUpload& piece) const {
    QueueFile file(m_path);
    QSqlQuery q(file.db());
    if (!file.ok() || !q.prepare(QStringLiteral("update uploads set piece=? where id=?")))
        return PlantReply<bool>::failed(failure());
    q.addBindValue(pieceText(piece));
    q.addBindValue(id);
    if (!q.exec()) return PlantReply<bool>::failed(failure());
    return {q.numRowsAffected() > 0, {}};
}

PlantReply<std::optional<std::pair<QString, int>>>
UploadQueue::lastAddress(const TestKey& key) const {
    using Reply = PlantReply<std::optional<std::pair<QString, int>>>;
    if (!QFileInfo::exists(m_path)) return {};
    QueueFile file(m_path);
    QSqlQuery q(file.db());
    // A sent entry keeps its id, so the newest of both lists has the highest.
    if (!file.ok() ||
        !q.prepare(QStringLiteral("select serial, curve from (select id, serial, curve from sent "
                                  "where test_number=? and after_boiling=? union all select id, "
                                  "serial, curve from uploads where test_number=? and "
                                  "after_boiling=?) order by id desc limit 1")))
        return Reply::failed(failure());
    for (int i = 0; i < 2; ++i) {
        q.addBindValue(key.number);
        q.addBindValue(key.afterBoiling ? 1 : 0);
    }
    if (!q.exec()) return Reply::failed(failure());
    if (!q.next()) return {};
    return {std::pair(q.value(0).toString(), q.value(1).toInt()), {}};
}

PlantReply<std::vector<std::pair<TestKey, PieceDelivery>>> UploadQueue::deliveries() const {
    using Reply = PlantReply<std::vector<std::pair<TestKey, PieceDelivery>>>;
    if (!QFileInfo::exists(m_path)) return {};
    QueueFile file(m_path);
    QSqlQuery q(file.db());
    // Oldest first, so the newest of a key is the last word.
    if (!file.ok() ||
        !q.exec(QStringLiteral(
            "select id, test_number, after_boiling, sent, null, null, serial, curve "
            "from sent where test_number is not null union all "
            "select id, test_number, after_boiling, null, state, held, serial, curve "
            "from uploads where test_number is not null order by 1")))
        return Reply::failed(failure());
    QHash<QString, std::size_t> at;
    std::vector<std::pair<TestKey, PieceDelivery>> out;
    while (q.next()) {
        const TestKey key{q.value(1).toString(), q.value(2).toInt() != 0};
        const QString id = key.number + (key.afterBoiling ? QStringLiteral("\n1") : QString());
        PieceDelivery d;
        if (!q.value(3).isNull()) {
            d.sent = timeOf(q.value(3));
            d.sentSerial = q.value(6).toString();
            d.sentPiece = q.value(7).toInt();
        } else
            d.waiting = stateNamed(q.value(4).toString(), q.value(5).toInt() != 0);
        if (const auto it = at.constFind(id); it != at.cend()) {
            // A sent piece stays sent; a newer entry tells what waits of it.
            PieceDelivery& was = out[*it].second;
            if (d.sent)
                was = d;
            else if (*d.waiting != OutboxState::Superseded)
                was.waiting = d.waiting;
            continue;
        }
        at.insert(id, out.size());
        out.emplace_back(key, d);
    }
    return {std::move(out), {}};
}

QString outboxStateText(OutboxState state) {
    switch (state) {
    case OutboxState::Unasked:
        return QStringLiteral("未上传（尚未确认）");
    case OutboxState::Declined:
        return QStringLiteral("未上传（操作员选择）");
    case OutboxState::Waiting:
        return QStringLiteral("等待补传");
    case OutboxState::Held:
        return QStringLiteral("被拒绝，需处理");
    case OutboxState::Superseded:
        return QStringLiteral("已被较新的测试取代，不再发送");
    }
    return {};
}

} // namespace q7rk
