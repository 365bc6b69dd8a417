#pragma once

#include "plant/PlantConnection.h"
#include "plant/PlantSchema.h"
#include "plant/PlantSetup.h"
#include "plant/PlantSql.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The plant database of the plant tests: a SQLite file through the SQLite ODBC driver, and,
// under scripts/with-postgres.sh, the PostgreSQL server that script started.
struct PlantServer {
    static inline const char* const PostgresVariable = "Q7RK_PLANT_POSTGRES";

    // The driver manager keeps what it read of the data source file for the life of the
    // process, so both data sources are registered once, before the first connection.
    QTemporaryDir home;
    bool postgres = false;
    q7rk::PlantSource source;

    static bool serverStarted() { return !qEnvironmentVariableIsEmpty(PostgresVariable); }
    static inline const char* const NoServer =
        "no PostgreSQL server (run under scripts/with-postgres.sh)";

    // The global data rows of a plant test: each case runs on SQLite, then on PostgreSQL.
    static void backendRows() {
        QTest::addColumn<bool>("postgres");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgres") << true;
    }
    QString plantFile() const { return home.filePath("plant.db"); }

    // "result" on the SQLite file and, with a server, "result_pg"; empty when it worked.
    QString registerSources() {
        qputenv("ODBCINI", QFile::encodeName(home.filePath("odbc.ini")));
        q7rk::PlantStatus s = q7rk::PlantSetup::initSqlite(plantFile(), "result");
        if (s.ok() && serverStarted())
            s = q7rk::PlantSetup::initPostgres(qEnvironmentVariable(PostgresVariable), "result_pg");
        return s.message;
    }

    // The back end of a data row; false when it is not there.
    bool choose(bool onPostgres) {
        if (onPostgres && !serverStarted()) return false;
        postgres = onPostgres;
        source = q7rk::PlantSource(onPostgres ? "result_pg" : "result");
        return true;
    }

    // Empty tables, or a Curve table with fewer sample columns.
    bool prepare(int sampleColumns = -1) {
        if (sampleColumns < 0)
            sampleColumns = postgres ? q7rk::plantSchema::PostgresSampleColumns
                                     : q7rk::plantSchema::SqliteSampleColumns;
        q7rk::PlantConnection c(source, q7rk::PlantLogin::Own);
        return q7rk::plantSchema::drop(c).ok() && q7rk::plantSchema::create(c, sampleColumns).ok();
    }

    int count(const QString& sql, const QVariantList& values = {}) const {
        const auto rows = q7rk::openPlantRecordset(source, sql, values);
        return rows.ok() ? rows.value.value(0, 0).toInt() : -1;
    }

    int rowsOf(const QString& table, const QString& serial) const {
        return count(QString("select count(*) from %1 where SerNum=?").arg(table), {serial});
    }

    // The server away: the PostgreSQL cluster stopped, or the SQLite file moved aside.
    bool takeAway(bool away) {
        if (postgres)
            return QProcess::execute(qEnvironmentVariable("Q7RK_PLANT_PGCTL"),
                                     {away ? "stop" : "start"}) == 0;
        const QString aside = home.filePath("aside.db");
        return away ? QFile::rename(plantFile(), aside) : QFile::rename(aside, plantFile());
    }
};
