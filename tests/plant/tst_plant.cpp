#include "PlantServer.h"
#include "plant/FoilRecords.h"
#include "plant/OdbcSources.h"
#include "plant/PieceGrid.h"
#include "plant/PlantInput.h"
#include "plant/PlantTexts.h"
#include "plant/PlantUploader.h"
#include "settings/SampleStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QUuid>
#include <QtTest>
#include <memory>

using namespace q7rk;

namespace {

// Sample k of channel c: distinct per channel, sample and run, with digits a single keeps.
float sampleValue(int channel, int n, int run) {
    return float(channel * 100 + run * 7) + float(n) * 0.7f + 0.05f;
}

std::unique_ptr<SampleStore> samplesOfRun(int run) {
    auto store = std::make_unique<SampleStore>();
    for (int c = 0; c < ChannelCount; ++c)
        for (int n = 0; n <= SampleStore::MaxSample; ++n)
            store->set(c, n, sampleValue(c, n, run), 0.5f);
    return store;
}

FoilRecord foil(const QString& serial, const QString& spec) {
    return {serial, spec, "520.5", "", "12.25", "", "iq-7", "L2", "3"};
}

} // namespace

class PlantTest : public QObject {
    Q_OBJECT

    PlantServer m_server;
    std::unique_ptr<QTemporaryDir> m_dir; // one per test: the queue file
    // A PostgreSQL server that takes connections and never answers: the kernel completes
    // them, nothing reads or replies.
    QTcpServer m_silent;

    QString path(const QString& name) const { return m_dir->filePath(name); }

    PieceUpload piece(const QString& serial, int curveNumber, const SampleStore& samples,
                      double rise = 85, double delay = 180) {
        RunPiece run{(curveNumber - 1) % 3, curveNumber, serial, {rise, delay, 203.4, 201.5}};
        for (int n = 1; n <= SampleStore::MaxSample; ++n)
            run.volts.push_back(samples.voltage(run.channel, n));
        const PieceCells cells{"1.25", curveNumber % 2 ? "" : "7", "31"};
        auto up = makePieceUpload(run, foil(serial, "S-1"), cells, QDate(2021, 3, 4));
        return up.value;
    }

    bool sql(const QString& text) {
        return PlantConnection(m_server.source, PlantLogin::Own).exec(text).ok();
    }

    QByteArray m_toolErrors; // what the last q7rk-plantdb wrote to stderr
    QString m_toolLogRules;  // QT_LOGGING_RULES of the tool: its log goes to stderr too

    // Runs q7rk-plantdb with a data source file of its own, its settings and data in the
    // test's folder, and in Chinese when the server speaks it.
    QByteArray plantdb(const QStringList& args, int expectedExit) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ODBCINI", path("tool-odbc.ini"));
        env.insert("XDG_CONFIG_HOME", path("config"));
        env.insert("XDG_DATA_HOME", path("data"));
        if (env.contains("Q7RK_PLANT_LOCALE")) env.insert("LC_ALL", env.value("Q7RK_PLANT_LOCALE"));
        if (env.contains("Q7RK_PLANT_LOCPATH"))
            env.insert("LOCPATH", env.value("Q7RK_PLANT_LOCPATH"));
        if (!m_toolLogRules.isEmpty()) env.insert("QT_LOGGING_RULES", m_toolLogRules);
        p.setProcessEnvironment(env);
        p.start(Q7RK_PLANTDB_PATH, args);
        if (!p.waitForFinished(60000)) return "timeout";
        m_toolErrors = p.readAllStandardError();
        if (p.exitCode() != expectedExit) {
            qWarning("q7rk-plantdb exit %d: %s", p.exitCode(), m_toolErrors.constData());
            return "unexpected exit";
        }
        const QByteArray out = p.readAllStandardOutput();
        QFile log(path("tool-output"));
        if (log.open(QIODevice::Append)) log.write(out + m_toolErrors);
        return out;
    }

    // The tool's own data source for the same database.
    QStringList initArgs() const {
        return m_server.postgres ? QStringList{"init", "--postgres",
                                               qEnvironmentVariable(PlantServer::PostgresVariable)}
                                 : QStringList{"init", "--file", m_server.plantFile()};
    }

private slots:
    void initTestCase_data() { PlantServer::backendRows(); }

    void initTestCase() {
        QVERIFY(m_server.home.isValid());
        // Written before the driver manager first reads the data sources.
        QVERIFY(m_silent.listen(QHostAddress::LocalHost));
        qputenv("ODBCINI", QFile::encodeName(m_server.home.filePath("odbc.ini")));
        QVERIFY(OdbcSources::writeUserSource("silent",
                                             {{"Driver", OdbcSources::findDriver("psqlodbcw.so")},
                                              {"Servername", "127.0.0.1"},
                                              {"Port", QString::number(m_silent.serverPort())},
                                              {"Database", "plant"}})
                    .ok());
        QVERIFY(OdbcSources::writeUserSource("nodriver", {{"Driver", "/nowhere/libq7rk.so"}}).ok());
        const QString problem = m_server.registerSources();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void init() {
        QFETCH_GLOBAL(bool, postgres);
        if (!m_server.choose(postgres))
            QSKIP(PlantServer::NoServer);
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(m_server.prepare());
    }

    void setupKeepsOtherDataSources() {
        if (m_server.postgres) QSKIP("the same on both");
        QFile ini(path("tool-odbc.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[other]\nDriver=X\n\n[result]\nDatabase=/old.db\n\n[last]\nDriver=Y\n");
        ini.close();
        QVERIFY(plantdb({"init", "--file", path("sub/x.db")}, 0).startsWith("data source"));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(ini.readAll());
        QVERIFY(text.contains("[other]\nDriver=X\n") && text.contains("[last]\nDriver=Y\n"));
        QCOMPARE(text.count("[result]"), 1);
        QVERIFY(text.contains("Database=" + path("sub/x.db")) && !text.contains("/old.db"));
        QVERIFY(plantdb({"init", "--postgres", "user=x"}, 1).isEmpty());
    }

    void foilRecords() {
        FoilRecords foils(m_server.source);
        QCOMPARE(foils.hasGrade(" 20VF ").value, false);
        QVERIFY(foils.addGrade("20VF").ok()); // the list's order: see the quoted values
        QCOMPARE(foils.hasGrade(" 20VF ").value, true);

        QCOMPARE(foils.save(foil("H120", "20VF"), QDate(2020, 1, 2)).value, true);
        QVERIFY(foils.save(foil("X12Y", "20VF"), QDate(2020, 1, 2)).ok());
        QVERIFY(foils.save(foil("H3A", "20VF"), QDate(2020, 1, 2)).ok());
        QCOMPARE(foils.listSerials(" 12 ").value, QStringList({"H120", "X12Y"}));

        FoilRecord changed = foil("H120", "规格B");
        changed.length = "100";
        changed.area = "";
        const auto second = foils.save(changed, QDate(2024, 5, 6));
        QVERIFY2(second.ok(), qPrintable(second.status.message));
        QCOMPARE(second.value, false); // an update
        const auto date = openPlantRecordset(
            m_server.source, "select ProDate from Whole_Parameter where SerNum=?", {"H120"});
        QCOMPARE(date.value.text(0, 0), QString("2020/01/02")); // the first save's date stays

        QCOMPARE(foils.open(" H120 ").value.foil, std::optional(changed)); // empty area: Null

        FoilRecord bad = foil("H9", "S");
        bad.weight = "12kg";
        const auto refused = foils.save(bad, QDate(2020, 1, 1));
        QCOMPARE(refused.status.fault, PlantFault::BadInput);
        QVERIFY(refused.status.message.contains("重量"));
        QCOMPARE(m_server.rowsOf("Whole_Parameter", "H9"), 0);

        auto samples = samplesOfRun(1);
        PlantUploader uploader(m_server.source, path("plant-queue.db"));
        QVERIFY(uploader.upload(piece("H120", 2, *samples)).status.ok());
        QVERIFY(foils.remove("H120").ok());
        for (const char* table : {"Whole_Parameter", "Part_Parameter", "Curve"})
            QCOMPARE(m_server.rowsOf(table, "H120"), 0);
        QCOMPARE(m_server.count("select count(*) from Whole_Parameter"), 2);
    }

    void uploadAndLoad() {
        QCOMPARE(curveLength(1, {2.5, 0.5, {}, {}}).value, 2); // halves to even
        QCOMPARE(curveLength(1, {5900, 180, {}, {}}).status.fault, PlantFault::BadInput);
        QCOMPARE(curveLength(1, {85, {}, {}, {}}).status.fault, PlantFault::BadInput);

        PlantUploader uploader(m_server.source, path("plant-queue.db"));
        auto run1 = samplesOfRun(1);
        for (int n = 1; n <= 6; ++n) {
            const PieceUpload up =
                n <= 3 ? piece("F7", n, *run1) : piece("F7", n, *run1, 85, 60);
            const UploadOutcome out = uploader.upload(up);
            QVERIFY2(out.status.ok(), qPrintable(out.status.message));
        }
        const auto opened = FoilRecords(m_server.source).open("F7");
        QCOMPARE(int(opened.value.pieces.size()), 6);
        QCOMPARE(int(opened.value.curves.size()), 6);
        for (const StoredCurve& c : opened.value.curves) {
            const int channel = (c.curveNumber - 1) % 3;
            QCOMPARE(int(c.values.size()), c.curveNumber <= 3 ? 265 : 145);
            QCOMPARE(c.values[0], 0.0f);
            for (int k = 1; k < int(c.values.size()); ++k)
                QCOMPARE(c.values[std::size_t(k)], sampleValue(channel, k + 1, 1));
        }
        for (const LoadedPiece& p : opened.value.pieces) {
            const PieceRowCells expected{
                "1.250", p.curveNumber % 2 ? "" : "7.00", "31.00", "85.00", "203.40", "201.50"};
            QCOMPARE(p.cells, expected);
            QCOMPARE(p.riseTimeWhole, 85);
        }
        QCOMPARE(lastDrawnColumn(1, 85, 265), 262);
        QCOMPARE(lastDrawnColumn(4, 85, 100), 99);

        // Sending again replaces (one row per key: the load test); the whole-roll row
        // follows pieces 1 and 1' only, and a box left blank keeps the lab's value.
        QVERIFY(sql("update Whole_Parameter set Length=1200 where SerNum='F7'"));
        auto run2 = samplesOfRun(2);
        for (int n : {4, 2}) {
            PieceUpload again = piece("F7", n, *run2);
            again.foil->grade = QString::number(n);
            QVERIFY(uploader.upload(again).status.ok());
        }
        const FoilRecord kept = *FoilRecords(m_server.source).open("F7").value.foil;
        QCOMPARE(kept.grade, QString("4"));
        QCOMPARE(kept.length, QString("1200"));
    }

    // 保存 of the grid: only the rows that exist change, each one counted; a tested piece
    // without its row is named and not created.
    void pieceGridAndCells() {
        PieceGrid grid; // how it shows an entry: see the page widget's test
        auto samples = samplesOfRun(1);
        PlantUploader uploader(m_server.source, path("plant-queue.db"));
        for (int n : {1, 2})
            QVERIFY(uploader.upload(piece("G1", n, *samples)).status.ok());
        grid.fill(FoilRecords(m_server.source).open("G1").value.pieces);
        grid.setEntry(PieceQuantity::SpecificCapacitance, 1, "2.5");
        grid.setEntry(PieceQuantity::Pull, 1, "");
        grid.setEntry(PieceQuantity::Pull, 2, "abc");
        grid.setCell(6, 6, "201"); // tested, never uploaded
        grid.setEntry(PieceQuantity::Bend, 6, "3");
        PieceRecords pieces(m_server.source);
        const auto refused = pieces.saveCells("G1", grid.table());
        QCOMPARE(refused.status.fault, PlantFault::BadInput);
        QVERIFY(refused.status.message.contains("第2片") &&
                refused.status.message.contains("抗拉"));
        grid.setEntry(PieceQuantity::Pull, 2, "40");
        const auto saved = pieces.saveCells("G1", grid.table());
        QVERIFY2(saved.ok(), qPrintable(saved.status.message));
        QCOMPARE(saved.value.withoutRow, QList<int>{6});
        QCOMPARE(int(saved.value.written.size()), 2);
        QCOMPARE(saved.value.written[1].curveNumber, 2);
        QCOMPARE(saved.value.written[1].values[2].toDouble(), 40.0);
        QCOMPARE(m_server.rowsOf("Part_Parameter", "G1"), 2);
        const auto rows = openPlantRecordset(
            m_server.source,
            "select NumCurve, SpecVot, Bend, Pull from Part_Parameter where SerNum=? "
            "order by NumCurve",
            {"G1"});
        QCOMPARE(rows.value.text(0, 1), QString("2.5"));
        QVERIFY(rows.value.value(0, 3).isNull()); // an empty cell
        QCOMPARE(rows.value.text(1, 3), QString("40"));
        // Another foil's number: nothing of it exists, nothing is said to be saved.
        const auto elsewhere = pieces.saveCells("G2", grid.table());
        QCOMPARE(elsewhere.value.withoutRow, QList<int>({1, 2, 6}));
        QVERIFY(elsewhere.value.written.empty());
    }

    // A plant's own layout: an ID column first, the columns in another order, a date for the
    // upload's date text, the sample columns backwards and only 300 of them. Written and read by
    // name, it opens with the values stored, and the check finds nothing missing.
    void tablesLaidOutByThePlant() {
        QStringList samplesBackwards;
        for (int k = 299; k >= 0; --k)
            samplesBackwards << QString("\"%1\" real").arg(k);
        const QString text = "varchar(255)", number = "double precision";
        for (const QString& statement : QStringList{
                 "drop table Whole_Parameter", "drop table Part_Parameter", "drop table Curve",
                 "create table Whole_Parameter (ID integer, Conner " + text + ", Pace " + number +
                     ", ProDate date, NodeNum " + number + ", PLNum " + text + ", IQNum " + text +
                     ", Weight " + number + ", Area " + number + ", Length " + number + ", VF " +
                     number + ", Speci " + text + ", SerNum " + text + ")",
                 "create table Part_Parameter (ID integer, Vt " + number + ", Vm " + number +
                     ", Tr " + number + ", Pull " + number + ", Bend " + number + ", SpecVot " +
                     number + ", NumCurve integer, SerNum " + text + ")",
                 "create table Curve (ID integer, " + samplesBackwards.join(",") +
                     ", NumCurve integer, SerNum " + text + ")",
                 QString("create unique index Whole_Parameter_Key on Whole_Parameter (SerNum)"),
                 QString("create unique index Part_Parameter_Key on Part_Parameter (SerNum, "
                         "NumCurve)"),
                 QString("create unique index Curve_Key on Curve (SerNum, NumCurve)")})
            QVERIFY2(sql(statement), qPrintable(statement.left(80)));

        auto samples = samplesOfRun(1);
        PlantUploader uploader(m_server.source, path("plant-queue.db"));
        for (int n : {1, 4}) {
            const auto out = uploader.upload(piece("R1", n, *samples, 85, n == 1 ? 180 : 60));
            QVERIFY2(out.status.ok(), qPrintable(out.status.message));
        }
        const auto opened = FoilRecords(m_server.source).open("R1");
        QVERIFY2(opened.ok(), qPrintable(opened.status.message));
        QCOMPARE(opened.value.foil, std::optional(foil("R1", "S-1")));
        QCOMPARE(int(opened.value.pieces.size()), 2);
        for (const LoadedPiece& p : opened.value.pieces) {
            const PieceRowCells expected{
                "1.250", p.curveNumber == 4 ? "7.00" : "", "31.00", "85.00", "203.40", "201.50"};
            QCOMPARE(p.cells, expected);
            QCOMPARE(p.riseTimeWhole, 85);
        }
        QCOMPARE(int(opened.value.curves.size()), 2);
        for (const StoredCurve& c : opened.value.curves) {
            QCOMPARE(int(c.values.size()), c.curveNumber == 1 ? 265 : 145);
            QCOMPARE(c.values[0], 0.0f);
            for (int k = 1; k < int(c.values.size()); ++k)
                QCOMPARE(c.values[std::size_t(k)], sampleValue(0, k + 1, 1));
        }

        QVERIFY(plantdb(initArgs(), 0).startsWith("data source result"));
        const QJsonObject report = QJsonDocument::fromJson(plantdb({"check"}, 0)).object();
        const QJsonObject columns = report["sampleColumns"].toObject();
        QCOMPARE(columns["count"].toInt(), 300);
        QCOMPARE(std::pair(columns["first"].toInt(), columns["last"].toInt()), std::pair(0, 299));
        QCOMPARE(columns["longestCurve"].toObject(), QJsonObject({{"samples", 300},
                                                                  {"seconds", 300},
                                                                  {"riseTimeBeforeBoiling", 120},
                                                                  {"riseTimeAfterBoiling", 240}}));
    }

    void faultsAreQueuedAndRetriedOnce() {
        auto samples = samplesOfRun(1);
        { // the queue of an older program: no times, no held mark
            QSqlDatabase old = QSqlDatabase::addDatabase("QSQLITE", "old-queue");
            old.setDatabaseName(path("plant-queue.db"));
            QVERIFY(old.open() && QSqlQuery(old).exec("create table uploads (id integer primary "
                                                      "key autoincrement, serial text not null, "
                                                      "curve integer not null, piece text not "
                                                      "null, reason text)"));
        }
        QSqlDatabase::removeDatabase("old-queue");
        PlantUploader uploader(m_server.source, path("plant-queue.db"));

        // No data source: the upload waits in the outbox.
        const PlantUploader nowhere(PlantSource("nowhere"), uploader.queue().path());
        UploadOutcome out = nowhere.upload(piece("Q1", 1, *samples));
        QVERIFY2(out.status.fault == PlantFault::NoDataSource, qPrintable(out.status.message));
        QVERIFY(out.status.message.contains("nowhere") && out.queued());
        QCOMPARE(PlantConnection(PlantSource("nodriver"), PlantLogin::Own).open().fault,
                 PlantFault::NoDriver);
        if (m_server.postgres) { // a role without login (there already on a second run)
            sql("create role q7rk_out nologin");
            const PlantStatus refused = PlantConnection("DSN=result_pg;UID=q7rk_out;", "").open();
            QVERIFY(refused.fault == PlantFault::LoginRefused &&
                    refused.message.startsWith(plantTexts::loginRefused()));
        }
        // Bad input is held for the operator, with its reason: kept, never sent by itself.
        PieceUpload bad = piece("Q1", 2, *samples);
        bad.tvValue = "";
        out = uploader.upload(bad);
        QVERIFY(out.status.fault == PlantFault::BadInput && out.left == OutboxState::Held);
        QCOMPARE(uploader.queue().counts().value.held, 1);

        // A newer test of piece 1 sent directly supersedes the waiting older one: the tool's
        // retry in a process of its own sends nothing over it.
        PieceUpload newer = piece("Q1", 1, *samples);
        newer.tvValue = "199.5";
        QVERIFY(uploader.upload(newer).status.ok());
        QVERIFY(plantdb(initArgs(), 0).startsWith("data source result"));
        const QByteArray printed = plantdb({"retry", "--workdir", m_dir->path()}, 1);
        QCOMPARE(QJsonDocument::fromJson(printed).object(),
                 QJsonObject({{"uploaded", QJsonArray{}}, {"left", 1}})); // the held one
        QCOMPARE(openPlantRecordset(m_server.source,
                                    "select Vt from Part_Parameter where SerNum=? and NumCurve=1",
                                    {"Q1"})
                     .value.text(0, 0),
                 QString("199.5"));

        // A statement refused: nothing of the piece stays, not even its whole-roll row.
        QVERIFY(sql("alter table Part_Parameter rename to Part_Aside"));
        out = uploader.upload(piece("Q3", 4, *samples));
        QCOMPARE(out.status.fault, PlantFault::Rejected);
        QCOMPARE(m_server.rowsOf("Whole_Parameter", "Q3"), 0);
        QCOMPARE(uploader.queue().counts().value.held, 2);
        QVERIFY(sql("alter table Part_Aside rename to Part_Parameter"));
        QVERIFY(uploader.retry().uploaded.empty()); // the automatic pass leaves held entries
        RetryReport report = uploader.retry({.held = true, .only = {}});
        QCOMPARE(std::pair(report.left, report.held), std::pair(1, 1)); // the bad one stays
        QCOMPARE(report.uploaded, (std::vector<std::pair<QString, int>>{{"Q3", 4}}));

        // An attempt the outbox cannot note (another program holds its file) leaves the entry
        // as it was, listed, and a later pass sends it.
        const qint64 unasked =
            uploader.queue().add(piece("Q4", 1, *samples), OutboxState::Unasked).value;
        {
            QSqlDatabase holder = QSqlDatabase::addDatabase("QSQLITE", "holder");
            holder.setDatabaseName(uploader.queue().path());
            QVERIFY(holder.open() && QSqlQuery(holder).exec("begin immediate"));
            out = nowhere.send(unasked);
            QVERIFY(out.status.fault == PlantFault::NoDataSource && !out.left);
            QVERIFY(out.status.message.contains(plantTexts::queueFailed(uploader.queue().path())));
            QSqlQuery(holder).exec("rollback");
        }
        QSqlDatabase::removeDatabase("holder");
        QCOMPARE(uploader.queue().entry(unasked).value->state, OutboxState::Unasked);
        QCOMPARE(uploader.retry({.held = true, .only = {unasked}}).uploaded,
                 (std::vector<std::pair<QString, int>>{{"Q4", 1}}));

        // An entry sent or removed while a pass runs is not sent again from the pass's list.
        std::vector<qint64> ids;
        for (int n : {5, 6})
            ids.push_back(
                uploader.queue().add(piece("Q3", n, *samples), OutboxState::Waiting).value);
        report = uploader.retry(
            {}, [&](int done, int) { return done > 0 || uploader.queue().remove(ids[1]).ok(); });
        QCOMPARE(report.uploaded, (std::vector<std::pair<QString, int>>{{"Q3", 5}}));
        for (const char* table : {"Part_Parameter", "Curve"}) // 6 never went
            QCOMPARE(m_server.rowsOf(table, "Q3"), 2);
    }

    // Bounded waits. On SQLite's row: an upload to a server that takes the connection and never
    // answers gives up after the login wait instead of waiting without end, and the piece waits
    // in the queue. On PostgreSQL's: a statement the server does not finish in time is given up
    // as the server away, which a retry may mend, not as refused for good.
    void waitsAreBounded() {
        if (m_server.postgres) {
            PlantConnection c(PlantSource(m_server.source.dataSource(), {2, 1}), PlantLogin::Own);
            const PlantStatus slow = c.exec("select pg_sleep(3)");
            QCOMPARE(slow.fault, PlantFault::ServerAway);
            QVERIFY2(slow.message.startsWith(plantTexts::noAnswer(1)), qPrintable(slow.message));
            return;
        }
        const PlantWaits waits{2, 2}; // libpq waits at least 2 s
        const PlantUploader uploader(PlantSource("silent", waits), path("plant-queue.db"));
        auto samples = samplesOfRun(1);
        QElapsedTimer clock;
        clock.start();
        const UploadOutcome out = uploader.upload(piece("W1", 1, *samples));
        const qint64 took = clock.elapsed();
        QVERIFY2(out.queued() && out.status.fault == PlantFault::ServerAway,
                 qPrintable(out.status.message));
        // The margin is for a loaded machine.
        QVERIFY2(took < (waits.loginSeconds + 8) * 1000, qPrintable(QString::number(took)));
        QCOMPARE(uploader.pendingCount().value, 1);
    }

    // A role of the plant's with only the rights the program needs, its password in the data
    // source alone. The server and libpq answer in Chinese: a wrong password and a stopped
    // server are still told apart.
    void dataSourceLogin() {
        if (!m_server.postgres) QSKIP("a server's login");
        const QString password = "Pw-" + QUuid::createUuid().toString(QUuid::Id128).left(16);
        sql("create role q7rk_station login in role q7rk_password_login"); // or there already
        QVERIFY(sql(QString("alter role q7rk_station password '%1'").arg(password)));
        QVERIFY(sql("grant select, insert, update, delete on Whole_Parameter, Part_Parameter, "
                    "Curve, Criterion to q7rk_station"));
        QFile ini(path("tool-odbc.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly) && ini.write("[other]\nDriver=X\n"));
        ini.close();
        QVERIFY(ini.setPermissions(ini.permissions() | QFile::ReadGroup | QFile::ReadOther));
        QFile secret(path("secret"));
        QVERIFY(secret.open(QIODevice::WriteOnly) && secret.write(("wrong\n")));
        secret.close();
        QStringList init =
            initArgs() + QStringList{"--user",          "q7rk_station", "--password-file",
                                     secret.fileName(), "--dsn",        "station"};
        plantdb(init, 1);
        QVERIFY2(m_toolErrors.startsWith(plantTexts::loginRefused().toUtf8()), m_toolErrors);
        QVERIFY2(m_toolErrors.contains("失败"), m_toolErrors); // the server's words, in Chinese

        QVERIFY(secret.open(QIODevice::WriteOnly) && secret.write((password + "\r\n").toUtf8()));
        secret.close();
        // Every line of the log, kept with what the tool wrote: the password is not among them.
        m_toolLogRules = "q7rk.*=true";
        QVERIFY(plantdb(init, 0).contains("login q7rk_station"));
        QCOMPARE(ini.permissions() & ~(QFile::ReadUser | QFile::WriteUser),
                 QFile::ReadOwner | QFile::WriteOwner);
        // The station's rights are enough for an upload.
        auto samples = samplesOfRun(1);
        QVERIFY(PlantUploader(PlantSource("nowhere"), path("plant-queue.db"))
                    .queue()
                    .add(piece("R1", 1, *samples), OutboxState::Waiting)
                    .ok());
        QVERIFY(plantdb({"retry", "--workdir", m_dir->path(), "--dsn", "station"}, 0)
                    .contains("\"left\": 0"));
        QVERIFY2(m_toolErrors.contains("q7rk.plant: connected to data source station"),
                 m_toolErrors);
        m_toolLogRules.clear();
        QCOMPARE(m_server.rowsOf("Curve", "R1"), 1);

        QVERIFY(m_server.takeAway(true));
        plantdb({"check", "--dsn", "station"}, 2);
        QVERIFY(m_server.takeAway(false));
        QVERIFY2(m_toolErrors.startsWith(plantTexts::serverAway().toUtf8()), m_toolErrors);
        QVERIFY2(m_toolErrors.contains("失败"), m_toolErrors);

        // The password is in the data source file and nowhere else the tool wrote.
        QDirIterator files(m_dir->path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile f(files.next());
            if (f.fileName() == ini.fileName() || f.fileName() == secret.fileName()) continue;
            QVERIFY(f.open(QIODevice::ReadOnly));
            QVERIFY2(!f.readAll().contains(password.toUtf8()), qPrintable(f.fileName()));
        }
    }

    void checkTellsWhatTheDatabaseLacks() {
        QVERIFY(plantdb(initArgs(), 0).startsWith("data source result"));
        QJsonObject report = QJsonDocument::fromJson(plantdb({"check"}, 0)).object();
        const int samples = m_server.postgres ? 1598 : 1998;
        QCOMPARE(report.value("sampleColumns")["count"].toInt(), samples);
        QCOMPARE(report.value("tables")["Whole_Parameter"]["types"]["VF"].toString(),
                 QString("double precision"));
        for (const char* text :
             {"drop index Curve_Key", "drop table Criterion",
              "alter table Whole_Parameter drop column Conner",
              "create index Curve_SerNum on Curve (SerNum, NumCurve)", // not unique
              "create index Whole_ProDate on Whole_Parameter (ProDate, Speci)", // not led
              "alter table Curve drop column \"7\"", "drop table Part_Parameter",
              "create table Part_Parameter (SerNum integer, NumCurve integer, SpecVot "
              "varchar(20), Bend real, Pull real, Tr real, Vm real, Vt real)",
              "create unique index Part_Parameter_Key on Part_Parameter (SerNum, NumCurve)"})
            QVERIFY2(sql(text), text);
        const QByteArray printed = plantdb({"check"}, 1);
        QCOMPARE(plantdb({"check"}, 1), printed); // the check changed nothing
        report = QJsonDocument::fromJson(printed).object();
        const QJsonValue tables = report.value("tables");
        QCOMPARE(tables["Whole_Parameter"]["missing"], QJsonValue(QJsonArray{"Conner"}));
        QCOMPARE(tables["Criterion"]["present"], QJsonValue(false));
        // Each column as the program binds it, its type as the server declares it.
        const QString varchar = m_server.postgres ? "character varying(20)" : "varchar(20)";
        const QJsonArray unusable = tables["Part_Parameter"]["unusable"].toArray();
        QCOMPARE(unusable.size(), 2);
        QCOMPARE(unusable[0]["column"].toString() + unusable[0]["needs"].toString() +
                     unusable[0]["type"].toString().toLower(),
                 QString("SerNumtextinteger"));
        QCOMPARE(unusable[1]["column"].toString() + unusable[1]["needs"].toString() +
                     unusable[1]["type"].toString().toLower(),
                 "SpecVotnumber" + varchar);
        const QJsonValue columns = report.value("sampleColumns");
        QCOMPARE(columns["gaps"], QJsonValue(QJsonArray{QJsonArray{7, 7}}));
        QCOMPARE(columns["count"].toInt(), samples - 1);
        QCOMPARE(columns["longestCurve"]["samples"].toInt(), 7);
        // A missing key makes the database incomplete; an index the trends want does not.
        for (const char* list : {"missingIndexes", "recommendedIndexes"}) {
            const QJsonArray indexes = report[list].toArray();
            QCOMPARE(indexes.size(), 1);
            QVERIFY(sql(indexes[0]["create"].toString())); // a statement the server takes
        }
        report = QJsonDocument::fromJson(plantdb({"check"}, 1)).object();
        QCOMPARE(report["missingIndexes"], QJsonValue(QJsonArray()));
        QCOMPARE(report["recommendedIndexes"], QJsonValue(QJsonArray()));
    }

    void curveLongerThanTheTable() {
        QVERIFY(m_server.prepare(100));
        auto samples = samplesOfRun(1);
        PlantUploader uploader(m_server.source, path("plant-queue.db"));
        const UploadOutcome out = uploader.upload(piece("L1", 1, *samples));
        QCOMPARE(out.status.fault, PlantFault::CurveTooLong);
        QVERIFY(out.status.message.contains("265") && out.status.message.contains("100"));
        // A retry would be refused the same way: held for the operator.
        QCOMPARE(out.left, std::optional(OutboxState::Held));
        QCOMPARE(m_server.count("select count(*) from Whole_Parameter"), 0);
        QVERIFY(uploader.upload(piece("L1", 2, *samples, 40, 60)).status.ok());
    }

    void valuesAreNeverPartOfTheStatement() {
        const QString serial = "O'Brien\"; drop table Curve; --%_";
        const QString spec = "'); delete from Criterion; --";
        FoilRecords foils(m_server.source);
        QVERIFY(foils.addGrade("kept").ok());
        QVERIFY(foils.addGrade(spec).ok());
        QVERIFY(foils.save(foil("plain%", spec), QDate(2022, 2, 2)).ok());
        auto samples = samplesOfRun(1);
        QVERIFY(PlantUploader(m_server.source, path("plant-queue.db"))
                    .upload(piece(serial, 1, *samples))
                    .status.ok());
        QVERIFY(foils.save(foil(serial, spec), QDate(2022, 2, 2)).ok());

        QCOMPARE(foils.listGrades().value, QStringList({"kept", spec}));
        QCOMPARE(foils.listSerials("'B").value, QStringList({serial}));
        QCOMPARE(foils.listSerials("%_").value, QStringList({serial}));
        const auto opened = foils.open(serial);
        QCOMPARE(opened.value.foil->grade, spec);
        QCOMPARE(int(opened.value.curves.size()), 1);
    }

    // The routines the pages share: a count message, or a query error.
    void sharedQueriesSayWhatTheyFound() {
        QVERIFY(FoilRecords(m_server.source).save(foil("S1", "g"), QDate(2022, 2, 2)).ok());
        QString message;
        auto rows = runPlantSql(m_server.source, "select * from Whole_Parameter where SerNum=?",
                                {"S1"}, message);
        QVERIFY(rows);
        QCOMPARE(rows->recordCount(), 1);
        QCOMPARE(message, QString("查询到1条记录"));
        QVERIFY(!runPlantSql(m_server.source, "Delete from Criterion", {}, message));
        QCOMPARE(message, QString("Deletequery successful"));
        QVERIFY(!runPlantSql(m_server.source, "select nothing from Nowhere", {}, message));
        QVERIFY(message.startsWith("查询错误:"));
    }
};

QTEST_GUILESS_MAIN(PlantTest)
#include "tst_plant.moc"
