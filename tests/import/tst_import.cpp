// The old program's Access result files, read from the shared fixtures (copied first).
#include "import/OldResultFile.h"
#include "import/OldResultImport.h"
#include "results/AuditLog.h"
#include "results/ResultStore.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

using namespace q7rk;
using namespace q7rk::oldfiles;

namespace {

const QString Fixtures = QStringLiteral(Q7RK_OLD_PROGRAM_FIXTURES);

// A writable copy of a fixture in `dir`; the shared file is never opened.
QString copyOf(const QTemporaryDir& dir, const QString& name) {
    const QString to = dir.filePath(name);
    QFile::copy(Fixtures + '/' + name, to);
    QFile::setPermissions(to, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return to;
}

QList<FileReport> importFiles(const QString& folder, const QStringList& files, bool dryRun) {
    ResultStore store(folder);
    OldResultImport import(store, {dryRun, {}, 2});
    if (!import.prepare(files)) return {};
    return import.run({});
}

void compareCurvePoint(const StoredTest& t, int sample, double volts, double mA) {
    QVERIFY2(sample <= int(t.curve.size()), qPrintable(t.testNumber()));
    QCOMPARE(t.curve[std::size_t(sample - 1)].volts, volts);
    QCOMPARE(t.curve[std::size_t(sample - 1)].milliamperes, mA);
}

} // namespace

class TestImport : public QObject {
    Q_OBJECT

private slots:
    void init() {
        if (!QFileInfo::exists(Fixtures)) QSKIP("../shared/fixtures/old-program is absent");
    }

    // Every parameter value of the three files and the curves' samples in vi_order, as the
    // old program showed them; the deleted row stays deleted; what is odd is reported; a
    // second import and a dry run write nothing.
    void theThreeFilesComeThroughFaithfully() {
        QTemporaryDir dir;
        const QStringList files{copyOf(dir, "lb53A100.mdb"), copyOf(dir, "ldl53A100.mdb"),
                                copyOf(dir, "djy53A100.mdb")};
        const QString folder = dir.filePath("results");
        QDir().mkpath(folder);

        const auto dry = importFiles(folder, files, true);
        QCOMPARE(dry.size(), 3);
        QCOMPARE(dry[0].imported, 5);
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList());

        const auto reports = importFiles(folder, files, false);
        QCOMPARE(reports.size(), 3);
        const FileReport& tv = reports[0];
        QCOMPARE(tv.format, QString("Jet4"));
        QCOMPARE(tv.kind, std::optional(TestKind::Tv));
        QCOMPARE(tv.imported, 5);
        QCOMPARE(tv.withoutCurve, QStringList{"1204HL"});
        QCOMPARE(tv.orphanCurves, (QStringList{"0001HL", "0002HL"}));
        QVERIFY(tv.anomalies.join(' ').contains("0002HL"));
        QVERIFY(tv.error.isEmpty() && tv.skipped.isEmpty());
        QCOMPARE(reports[1].imported, 1);
        QCOMPARE(reports[2].imported, 1);

        ResultStore store(folder);
        const auto rows = store.allRows(TestKind::Tv);
        QCOMPARE(rows.count(), 5);
        const QStringList expected[] = {
            {"1203HL", "200", "2", "5", "150", "72.5", "205.3", "合格", "85.5", "600", "206.1",
             "True", "False", "True", "False", "张三", "2011/06/07"},
            {"1203HM", "200", "2", "5", "150", "73.5", "205.3", "合格", "85.5", "601", "206.1",
             "True", "False", "False", "False", "张三", "2011/06/07"},
            {"1203HR", "200", "2", "5", "150", "74.5", "195.1", "不合格", "85.5", "602", "206.1",
             "True", "False", "False", "False", "张三", "2011/06/07"},
            {"二车间07TL", "200", "2", "5", "150", "75.5", "205.3", "合格", "85.5", "603", "206.1",
             "True", "False", "False", "False", "张三", "2011/06/07"},
            {"1204HL", "200", "2", "", "", "", "", "", "", "", "", "False", "False", "False",
             "False", "李四", ""},
        };
        for (const QStringList& row : expected) {
            const auto t = store.load(TestKind::Tv, {row[0], false});
            QVERIFY2(t, qPrintable(row[0]));
            QCOMPARE(t->values, row);
        }
        QVERIFY(!store.checkTestTable(TestKind::Tv, {"9999HL", false}));
        QVERIFY(!store.checkTestTable(TestKind::Tv, {"0001HL", false}));

        const auto hl = store.load(TestKind::Tv, {"1203HL", false});
        QCOMPARE(hl->curve.size(), std::size_t(600));
        compareCurvePoint(*hl, 1, 1.4, 2.001);
        compareCurvePoint(*hl, 299, 177.3, 0.459);
        compareCurvePoint(*hl, 600, 201.5, 0.111);
        for (const auto& [number, samples, lastVolts] :
             {std::tuple("1203HM", 601, 201.5), std::tuple("1203HR", 602, 191.5),
              std::tuple("二车间07TL", 603, 201.5)}) {
            const auto t = store.load(TestKind::Tv, {number, false});
            QCOMPARE(int(t->curve.size()), samples);
            compareCurvePoint(*t, samples, lastVolts, 0.111);
        }
        QVERIFY(store.load(TestKind::Tv, {"1204HL", false})->curve.empty());

        // Conditions and history name the file; the time of day is kept.
        QVERIFY(hl->conditions);
        QCOMPARE(hl->conditions->link, QString("导入：lb53A100.mdb"));
        QCOMPARE(hl->conditions->version, QString("旧版"));
        QCOMPARE(hl->conditions->started, QDateTime(QDate(2011, 6, 7), QTime(14, 23, 5)));
        QVERIFY(std::isnan(hl->conditions->voltageAdjust));
        const auto history = store.history(TestKind::Tv, {"1203HL", false});
        QCOMPARE(history.size(), 1);
        QCOMPARE(history[0].field, QString::fromUtf8(ImportField));
        QCOMPARE(history[0].newValue, QString("导入：lb53A100.mdb"));

        // Leakage: Double numbers and marks written 是/否; electrolyte: NULL sparks.
        const auto leak = store.load(TestKind::Leakage, {"L0501HL", false});
        QCOMPARE(leak->values,
                 (QStringList{"L0501HL", "160", "2", "0.05", "60", "0.0123", "25", "合格", "240",
                              "True", "False", "True", "False", "王五", "2012/01/31"}));
        QCOMPARE(leak->curve.size(), std::size_t(240));
        compareCurvePoint(*leak, 1, 2.6, 1.986);
        compareCurvePoint(*leak, 240, 157.1, 0.111);
        const auto spark = store.load(TestKind::Electrolyte, {"E88HL", false});
        QCOMPARE(spark->values.mid(0, 18),
                 (QStringList{"E88HL", "2", "200", "80", "180", "3.1", "96.2", "60.4", "90.1",
                              "33.5", "95", "61.25", "", "", "合格", "700", "赵六", "2013/12/31"}));
        QCOMPARE(spark->conditions->started, QDateTime(QDate(2013, 12, 31), QTime(23, 59, 59)));
        compareCurvePoint(*spark, 350, 83.2, 0.457);
        compareCurvePoint(*spark, 700, 94.4, 0.111);

        // Again: nothing new, every test named as stored already, and nothing changed.
        const auto again = importFiles(folder, files, false);
        QCOMPARE(again[0].imported, 0);
        QCOMPARE(again[0].skipped.size(), 5);
        QVERIFY(!again[0].note.isEmpty());
        QCOMPARE(store.history(TestKind::Tv, {"1203HL", false}).size(), 1);
    }

    // Access 97 texts are bytes of a code page: the header's, or GB18030 when the header is
    // wrong; a forced encoding is taken as it is.
    void jet3TextsAreReadInTheRightCodePage() {
        QTemporaryDir dir;
        for (const char* name : {"jet3-cp936.mdb", "jet3-gbk-labelled-1252.mdb"}) {
            QString error;
            const auto report = inspectOldFile(copyOf(dir, name), {}, &error);
            QVERIFY2(report, qPrintable(error));
            QCOMPARE(report->value("format").toString(), QString("Jet3"));
            QCOMPARE(report->value("encoding").toString(), QString("GB18030"));
            QCOMPARE(report->value("encodingRetried").toBool(), QByteArray(name).contains("1252"));
            QCOMPARE(report->value("tables")[0]["name"].toString(), QString("铝箔表"));
        }
        QString error;
        const auto file = OldResultFile::open(copyOf(dir, "jet3-gbk-labelled-1252.mdb"), &error);
        QVERIFY(file);
        QCOMPARE(file->headerCodePage(), 1252);
        QCOMPARE(file->tables()[0].name, QString::fromUtf8("ÂÁ²­±í"));
        QVERIFY(file->setTextEncoding("GB18030"));
        QList<QVariantList> rows;
        QVERIFY(file->readRows(
            *file->table("铝箔表"), [&](const QVariantList& r) { rows << r; }, &error));
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[1][1].toString(), QString("张三李四p"));
        QCOMPARE(rows[1][5].toDouble(), 444.555);
        QCOMPARE(rows[1][8].toBool(), true);
    }

    // The command line: a file that is no Access file, one cut short inside a page and one
    // cut at a page's end are each named with the cause, exit 1, and nothing is written.
    void unreadableFilesAreToldAndWriteNothing() {
        QTemporaryDir dir;
        const QString lb = copyOf(dir, "lb53A100.mdb");
        QFile source(lb);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QByteArray bytes = source.readAll();
        const QList<std::pair<QString, QByteArray>> bad{{"text.mdb", "not an access file\n"},
                                                        {"cut.mdb", bytes.left(100000)},
                                                        {"cut-at-page.mdb", bytes.left(25 * 4096)}};
        const QString folder = dir.filePath("results");
        for (const auto& [name, content] : bad) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
            f.close();
            QProcess tool;
            tool.start(Q7RK_RESULTS_TOOL, {"import-old", "--workdir", folder, dir.filePath(name)});
            QVERIFY(tool.waitForFinished(30000));
            QCOMPARE(tool.exitCode(), 1);
            const QString err = QString::fromUtf8(tool.readAllStandardError());
            QVERIFY2(err.contains(name), qPrintable(err));
            const QJsonObject report =
                QJsonDocument::fromJson(tool.readAllStandardOutput()).object();
            QVERIFY(!report["files"][0]["error"].toString().isEmpty());
            QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList());
        }
        QProcess tool;
        tool.start(Q7RK_RESULTS_TOOL, {"import-old", "--workdir", folder, lb});
        QVERIFY(tool.waitForFinished(30000));
        QCOMPARE(tool.exitCode(), 0);
        QCOMPARE(QJsonDocument::fromJson(tool.readAllStandardOutput())["imported"].toInt(), 5);
    }
};

QTEST_GUILESS_MAIN(TestImport)
#include "tst_import.moc"
