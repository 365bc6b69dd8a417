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
                      const QString& rise = "85", const QString& delay = "180") {
        const RunTexts run{rise, delay, "203.4", "201.5"};
        const PieceCells cells{"1.25", curveNumber % 2 ? "" : "7", "31"};
        auto up = makePieceUpload(serial, curveNumber, foil(serial, "S-1"), cells, run, samples,
                                  (curveNumber - 1) % 3, QDate(2021, 3, 4));
        return up.value;
    }

    bool sql(const QString& text) {
        return PlantConnection(m_server.source, PlantLogin::Own).exec(text).ok();
    }

    // Runs q7rk-plantdb with a data source file of its own.
    QByteArray plantdb(const QStringList& args, int expectedExit) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ODBCINI", path("tool-odbc.ini"));
        p.setProcessEnvironment(env);
        p.start(Q7RK_PLANTDB_PATH, args);
        if (!p.waitForFinished(60000)) return "timeout";
        if (p.exitCode() != expectedExit) {
            qWarning("q7rk-plantdb exit %d: %s", p.exitCode(),
                     p.readAllStandardError().constData());
            return "unexpected exit";
        }
        return p.readAllStandardOutput();
    }

    // The tool's own data source for the same database.
    QStringList initArgs() const {
        return m_server.postgres ? QStringList{"init", "--postgres",
                                               qEnvironmentVariable(PlantServer::PostgresVariable)}
                                 : QStringList{"init", "--file", m_server.plantFile()};
    }

private slots:
    void initTestCase_data() {
        QTest::addColumn<bool>("postgres");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgres") << true;
    }

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
        const QString problem = m_server.registerSources();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void init() {
        QFETCH_GLOBAL(bool, postgres);
        if (!m_server.choose(postgres))
            QSKIP("no PostgreSQL server (run under scripts/with-postgres.sh)");
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
        QCOMPARE(curveLength(1, {"2.5", "0.5", "", ""}).value, 2); // halves to even
        QCOMPARE(curveLength(1, {"5900", "180", "", ""}).status.fault, PlantFault::BadInput);

        PlantUploader uploader(m_server.source, path("plant-queue.db"));
        auto run1 = samplesOfRun(1);
        for (int n = 1; n <= 6; ++n) {
            const PieceUpload up =
                n <= 3 ? piece("F7", n, *run1) : piece("F7", n, *run1, "85", "60");
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
        PieceRecords pieces(m_server.source);
        const PlantStatus refused = pieces.saveCells("G1", grid.table());
        QCOMPARE(refused.fault, PlantFault::BadInput);
        QVERIFY(refused.message.contains("第2片") && refused.message.contains("抗拉"));
        grid.setEntry(PieceQuantity::Pull, 2, "40");
        QVERIFY(pieces.saveCells("G1", grid.table()).ok());
        const auto rows = openPlantRecordset(
            m_server.source,
            "select NumCurve, SpecVot, Bend, Pull from Part_Parameter where SerNum=? "
            "order by NumCurve",
            {"G1"});
        QCOMPARE(rows.value.text(0, 1), QString("2.5"));
        QVERIFY(rows.value.value(0, 3).isNull()); // an empty cell
        QCOMPARE(rows.value.text(1, 3), QString("40"));
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

        // No data source: the upload waits in the queue.
        const PlantUploader nowhere(PlantSource("nowhere"), uploader.queue().path());
        UploadOutcome out = nowhere.upload(piece("Q1", 1, *samples));
        QVERIFY2(out.status.fault == PlantFault::NoDataSource, qPrintable(out.status.message));
        QVERIFY(out.status.message.contains("nowhere") && out.queued);
        if (m_server.postgres) { // a role without login (there already on a second run)
            sql("create role q7rk_out nologin");
            const PlantStatus refused = PlantConnection("DSN=result_pg;UID=q7rk_out;", "").open();
            QVERIFY(refused.fault == PlantFault::LoginRefused &&
                    refused.message.startsWith(plantTexts::loginRefused()));
        }
        // Bad input is the operator's to correct, not the queue's.
        PieceUpload bad = piece("Q1", 2, *samples);
        bad.tvValue = "";
        out = uploader.upload(bad);
        QCOMPARE(out.status.fault, PlantFault::BadInput);
        QCOMPARE(uploader.pendingCount().value, 1); // not queued
        // (A server gone in the middle of a group is the page's test.)

        // The tool sets up its own data source for the same database and sends the queue.
        QVERIFY(plantdb(initArgs(), 0).startsWith("data source result"));
        const QByteArray printed = plantdb({"retry", "--workdir", m_dir->path()}, 0);
        QCOMPARE(QJsonDocument::fromJson(printed).object(),
                 QJsonObject({{"uploaded", QJsonArray{QJsonArray{"Q1", 1}}}, {"left", 0}}));

        // A statement refused: nothing of the piece stays, not even its whole-roll row.
        QVERIFY(sql("alter table Part_Parameter rename to Part_Aside"));
        out = uploader.upload(piece("Q3", 4, *samples));
        QCOMPARE(out.status.fault, PlantFault::Rejected);
        QVERIFY(out.queued);
        QCOMPARE(m_server.rowsOf("Whole_Parameter", "Q3"), 0);
        // Refused again at a retry: held with its reason, and the automatic pass leaves it.
        RetryReport report = uploader.retry();
        QCOMPARE(report.status.fault, PlantFault::Rejected);
        QCOMPARE(std::pair(report.left, report.held), std::pair(1, 1));
        QCOMPARE(uploader.queue().entries().value.at(0).reason, report.status.message);
        QVERIFY(sql("alter table Part_Aside rename to Part_Parameter"));
        QVERIFY(uploader.retry().uploaded.empty());
        report = uploader.retry({.held = true, .only = {}});
        QCOMPARE(report.left, 0);
        QCOMPARE(report.uploaded, (std::vector<std::pair<QString, int>>{{"Q3", 4}}));

        // An entry sent or removed while a pass runs is not sent again from the pass's list.
        for (int n : {5, 6})
            QVERIFY(uploader.queue().add(piece("Q3", n, *samples), "").ok());
        report = uploader.retry({}, [&](int done, int) {
            return done > 0 || uploader.queue().removePiece("Q3", 6).ok();
        });
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
        QVERIFY2(out.queued && out.status.fault == PlantFault::ServerAway,
                 qPrintable(out.status.message));
        // The margin is for a loaded machine.
        QVERIFY2(took < (waits.loginSeconds + 8) * 1000, qPrintable(QString::number(took)));
        QCOMPARE(uploader.pendingCount().value, 1);
    }

    void checkTellsWhatTheDatabaseLacks() {
        QVERIFY(plantdb(initArgs(), 0).startsWith("data source result"));
        QJsonObject report = QJsonDocument::fromJson(plantdb({"check"}, 0)).object();
        QCOMPARE(report["sampleColumns"].toInt(), m_server.postgres ? 1598 : 1998);
        for (const char* text :
             {"drop index Curve_Key", "drop table Criterion",
              "alter table Whole_Parameter drop column Conner",
              "create index Curve_SerNum on Curve (SerNum, NumCurve)"}) // not unique
            QVERIFY(sql(text));
        const QByteArray printed = plantdb({"check"}, 1);
        QCOMPARE(plantdb({"check"}, 1), printed); // the check changed nothing
        report = QJsonDocument::fromJson(printed).object();
        const QJsonValue tables = report.value("tables");
        QCOMPARE(tables["Whole_Parameter"]["missing"], QJsonValue(QJsonArray{"Conner"}));
        QCOMPARE(tables["Criterion"]["present"], QJsonValue(false));
        const QJsonArray indexes = report["missingIndexes"].toArray();
        QCOMPARE(indexes.size(), 1);
        QVERIFY(sql(indexes[0]["create"].toString())); // a statement the server takes
        report = QJsonDocument::fromJson(plantdb({"check"}, 1)).object();
        QCOMPARE(report["missingIndexes"], QJsonValue(QJsonArray()));
    }

    void curveLongerThanTheTable() {
        QVERIFY(m_server.prepare(100));
        auto samples = samplesOfRun(1);
        PlantUploader uploader(m_server.source, path("plant-queue.db"));
        const UploadOutcome out = uploader.upload(piece("L1", 1, *samples));
        QCOMPARE(out.status.fault, PlantFault::CurveTooLong);
        QVERIFY(out.status.message.contains("265") && out.status.message.contains("100"));
        // A retry would be refused the same way: not kept.
        QVERIFY(!out.queued);
        QCOMPARE(m_server.count("select count(*) from Whole_Parameter"), 0);
        QVERIFY(uploader.upload(piece("L1", 2, *samples, "40", "60")).status.ok());
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
