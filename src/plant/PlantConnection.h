#pragma once

#include "plant/OdbcDiagnostics.h"
#include "plant/PlantRecordset.h"
#include "plant/PlantSource.h"
#include "plant/PlantStatus.h"

#include <QSqlDatabase>
#include <QSqlRecord>
#include <QVariantList>
#include <functional>

class QSqlError;
class QSqlQuery;

namespace q7rk {

// One connection to the plant database: opened by open(), closed and forgotten when the
// object goes. Every value goes to the server bound, never pasted into the statement text.
// Qt's connections belong to the thread that made them: use one on that thread only.
class PlantConnection {
public:
    PlantConnection(const PlantSource& source, PlantLogin login);
    // A full ODBC connection text ("DSN=...;..." or "DRIVER={...};..."); `sourceName` is
    // what the messages call it.
    PlantConnection(const QString& connectText, const QString& sourceName, PlantWaits waits = {});
    ~PlantConnection();
    PlantConnection(const PlantConnection&) = delete;
    PlantConnection& operator=(const PlantConnection&) = delete;

    PlantStatus open();

    // A column name as the server wants it quoted ("0" for the sample columns).
    QString quoted(const QString& column) const;

    PlantStatus exec(const QString& sql, const QVariantList& values = {});
    // exec, and how many rows the statement changed as the driver tells it (-1 when the
    // driver cannot say).
    PlantReply<int> execCounted(const QString& sql, const QVariantList& values = {});
    PlantReply<PlantRecordset> select(const QString& sql, const QVariantList& values = {});
    // The rows one at a time, forward only, none kept: `row` reads the query's current row
    // and returns false to stop (the reply is then Cancelled).
    PlantStatus eachRow(const QString& sql, const QVariantList& values,
                        const std::function<bool(const QSqlQuery&)>& row);
    // Column names of a table, read from an empty result.
    PlantReply<QStringList> columnNames(const QString& table);
    // The same with the type the driver gives each column (QSqlField::metaType as Qt reads
    // it, typeID the ODBC SQL type).
    PlantReply<QSqlRecord> columns(const QString& table);

    // All-or-nothing work: begin, then commit; a connection that goes without commit rolls
    // back.
    PlantStatus begin();
    PlantStatus commit();
    void rollback();

    // `work` as one transaction that must not interleave with other writers of the same
    // rows: SERIALIZABLE on PostgreSQL (SQLite's file lock serializes already). Committed
    // when it succeeds, rolled back when it fails; a Conflict starts it over after a short
    // random wait, five attempts in all.
    PlantStatus serializable(const std::function<PlantStatus()>& work);

private:
    PlantStatus limitStatements();
    void close();
    PlantStatus beginSerializable();
    PlantStatus connectFault(const QSqlError& error, qint64 tookMs) const;
    PlantStatus loginFault(const QSqlError& error) const;
    PlantStatus statementFault(const QSqlQuery& query) const;
    PlantStatus connectionFault() const;
    PlantStatus statementFault(const QSqlError& error, const OdbcState& state) const;

    QString m_name;
    QString m_connectText;
    QString m_sourceName;
    PlantWaits m_waits;
    QSqlDatabase m_db;
    bool m_inTransaction = false;
    bool m_sessionSerializable = false;
    bool m_onSqlite = false; // the SQLite ODBC driver: SQLite's result codes, not states
};

// A null number for a bound value (Null in the table).
QVariant nullNumber();

} // namespace q7rk
