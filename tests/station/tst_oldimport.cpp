// The old program's files taken in by the station's jobs, through the real q7rk-results in a
// process of its own: the dry run's report, an import with progress, a cancel halfway, a tool
// that is missing or crashes, and the settings taken into the station's own store.
#include "kinds/TestKindDescription.h"
#include "params/PanelModel.h"
#include "results/ResultSchema.h"
#include "results/ResultStore.h"
#include "station/OldDataImport.h"
#include "station/OldSettingsImport.h"
#include "support/TestStation.h"

#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QtTest>

using namespace q7rk;
using q7rk::testing::TestStation;

namespace {

const QString Fixtures = QStringLiteral(Q7RK_OLD_PROGRAM_FIXTURES);
const QString Tool = QStringLiteral(Q7RK_RESULTS_TOOL);

// Writable copies in `dir`: the shared files are never opened.
QStringList copies(const QTemporaryDir& dir, const QStringList& names) {
    QStringList out;
    for (const QString& name : names) {
        const QString to = dir.filePath(name);
        QFile::copy(Fixtures + '/' + name, to);
        QFile::setPermissions(to, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        out << to;
    }
    return out;
}

const QStringList ThreeFiles{"lb53A100.mdb", "ldl53A100.mdb", "djy53A100.mdb"};

void writeFile(const QString& path, const QByteArray& bytes, bool executable = false) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    if (executable) f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
}

qint64 count(const QSqlDatabase& db, const QString& sql) {
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next())
        qFatal("%s: %s", qPrintable(sql), qPrintable(db.lastError().text()));
    return q.value(0).toLongLong();
}

} // namespace

class OldImportTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        if (!QFileInfo::exists(Fixtures)) QSKIP("../shared/fixtures/old-program is absent");
    }

    // The dry run reports per file what would come, what has no curve and which curves have no
    // test, and a file that is no result file; nothing is written.
    void theDryRunSaysWhatWouldComeAndWritesNothing() {
        TestStation p;
        OldDataImport& job = p.station.oldDataImport();
        job.setTool(Tool);
        QTemporaryDir dir;
        QSignalSpy finished(&job, &OldDataImport::finished);
        QVERIFY(job.dryRun(copies(dir, ThreeFiles + QStringList{"jet3-cp936.mdb"})));
        QVERIFY(!job.import({})); // one run at a time
        QVERIFY(finished.wait(60000));

        const OldImportReport& r = job.report();
        QVERIFY2(r.failure.isEmpty(), qPrintable(r.failure));
        QVERIFY(r.dryRun && !r.cancelled);
        QCOMPARE(r.imported, 7);
        QCOMPARE(r.files.size(), 4);
        QCOMPARE(r.files[0].kind, QString("tv"));
        QCOMPARE(r.files[0].withoutCurve, QStringList{"1204HL"});
        QCOMPARE(r.files[0].orphanCurves, (QStringList{"0001HL", "0002HL"}));
        QVERIFY(r.anyFileFailed());
        const QString text = oldImportReportText(r);
        for (const char* said :
             {"试导入（没有写入任何数据）：共可导入 7 个测试。",
              "lb53A100.mdb（TV测试，Jet4，UCS-2）\n  可导入 5 个测试",
              "没有曲线的测试 1 个（只导入参数）：1204HL",
              "没有参数记录的曲线 2 个（不导入）：0001HL、0002HL", "ldl53A100.mdb（漏电流测试",
              "jet3-cp936.mdb（Jet3，GB18030）\n  无法读取：不是旧版结果文件"})
            QVERIFY2(text.contains(QString::fromUtf8(said)), qPrintable(text));
        QCOMPARE(QDir(p.dir.path()).entryList({"*.db"}), QStringList());
    }

    // Progress rises to the end, the tests land in the station's working folder, and a second
    // import skips every one of them, saying why.
    void anImportStoresTheTestsWithProgressAndNeverTwice() {
        TestStation p;
        OldDataImport& job = p.station.oldDataImport();
        job.setTool(Tool);
        QTemporaryDir dir;
        const QStringList files = copies(dir, ThreeFiles);
        QSignalSpy finished(&job, &OldDataImport::finished);
        QSignalSpy progress(&job, &OldDataImport::progress);
        QVERIFY(job.import(files));
        QVERIFY(finished.wait(60000));
        QVERIFY2(job.report().failure.isEmpty(), qPrintable(job.report().failure));
        QCOMPARE(job.report().imported, 7);
        QVERIFY(!progress.isEmpty());
        for (qsizetype i = 1; i < progress.size(); ++i)
            QVERIFY(progress[i][0].toInt() > progress[i - 1][0].toInt());
        QCOMPARE(progress.last()[0], progress.last()[1]);

        const ResultStore& store = p.station.results();
        QCOMPARE(store.storedKeys(TestKind::Tv).size(), 5);
        const auto test = store.load(TestKind::Tv, TestKey{"1203HL", false});
        QVERIFY(test && test->curve.size() >= 600);
        QVERIFY(store.load(TestKind::Electrolyte, TestKey{"E88HL", false}));

        QVERIFY(job.import(files));
        QVERIFY(finished.wait(60000));
        const OldImportReport& again = job.report();
        QCOMPARE(again.imported, 0);
        QCOMPARE(again.files[0].skipped.size(), 5);
        const QString text = oldImportReportText(again);
        QVERIFY2(text.contains(QString::fromUtf8("导入完成：共导入 0 个测试。")), qPrintable(text));
        QVERIFY2(text.contains(QString::fromUtf8("跳过（已存储，未覆盖）5 个：")),
                 qPrintable(text));
    }

    // Cancelled once the tool writes (the first half of its steps reads the file): it ends the
    // batch in hand and reports; every stored test has its whole curve.
    void aCancelledImportKeepsOnlyWholeTests() {
        const QString packed = Fixtures + "/bench/old-tv-10000x600.mdb.xz";
        if (!QFileInfo::exists(packed)) QSKIP("bench/old-tv-10000x600.mdb.xz is absent");
        if (QStandardPaths::findExecutable("xz").isEmpty()) QSKIP("xz is not installed");
        QTemporaryDir dir;
        const QString file = dir.filePath("old-tv.mdb");
        QProcess xz;
        xz.setStandardOutputFile(file);
        xz.start("xz", {"-dc", packed});
        QVERIFY(xz.waitForFinished(120000) && xz.exitCode() == 0);

        TestStation p;
        OldDataImport& job = p.station.oldDataImport();
        job.setTool(Tool);
        QSignalSpy finished(&job, &OldDataImport::finished);
        // A dry run writes nothing: a cancel ends it at once, without a report to show.
        QVERIFY(job.dryRun({file}));
        job.cancel();
        QVERIFY(finished.wait(5000));
        QVERIFY(job.report().cancelled && job.report().failure.isEmpty());

        int cancelledAt = 0;
        connect(&job, &OldDataImport::progress, this, [&](int done, int total) {
            if (cancelledAt || done <= total / 2) return;
            cancelledAt = done;
            job.cancel();
        });
        QVERIFY(job.import({file}));
        QVERIFY(finished.wait(240000));
        const OldImportReport& r = job.report();
        QVERIFY2(r.failure.isEmpty(), qPrintable(r.failure));
        QVERIFY(cancelledAt > 0 && r.cancelled);
        QVERIFY2(r.imported > 0 && r.imported < 10000, qPrintable(QString::number(r.imported)));
        QVERIFY(oldImportReportText(r).startsWith(
            QString::fromUtf8("导入已取消：已导入 %1 个完整的测试").arg(r.imported)));

        const TestKindDescription& tv = description(TestKind::Tv);
        auto db = QSqlDatabase::addDatabase("QSQLITE", "cancelled");
        db.setDatabaseName(p.path(QString::fromUtf8(tv.fileName)));
        QVERIFY(db.open());
        const QString curves = QString::fromUtf8(CurveTableName);
        QCOMPARE(
            count(db, QString("SELECT COUNT(*) FROM \"%1\"").arg(QString::fromUtf8(tv.tableName))),
            r.imported);
        QCOMPARE(
            count(
                db,
                QString(
                    "SELECT COUNT(*) FROM (SELECT 1 FROM \"%1\" GROUP BY \"测试编号\", \"水煮后\" "
                    "HAVING COUNT(*) = 600)")
                    .arg(curves)),
            r.imported);
        QCOMPARE(count(db, QString("SELECT COUNT(*) FROM \"%1\"").arg(curves)), 600 * r.imported);
        db.close();
    }

    // The operator learns why nothing happened: no tool where it was looked for, or one that
    // died on the way; what the tool logged is not part of it.
    void aToolMissingOrCrashingIsToldWithItsCause() {
        TestStation p;
        OldDataImport& job = p.station.oldDataImport();
        QSignalSpy finished(&job, &OldDataImport::finished);
        job.setTool(p.path("nowhere/q7rk-results"));
        QVERIFY(job.dryRun({p.path("old.mdb")}));
        QVERIFY(finished.count() == 1 || finished.wait(10000));
        QVERIFY2(
            job.report().failure.startsWith(QString::fromUtf8("导入程序 ") + p.path("nowhere")),
            qPrintable(job.report().failure));
        QVERIFY(job.report().failure.contains(QString::fromUtf8("无法启动")));

        // A line of the tool's log goes into the window's log, not to the operator.
        writeFile(p.path("crashing"),
                  "#!/bin/sh\necho 'progress 5 10' >&2\n"
                  "echo 'q7rk.results.warning: cannot write /x/lb53A100.db' >&2\n"
                  "kill -SEGV $$\n",
                  true);
        job.setTool(p.path("crashing"));
        QTest::ignoreMessage(QtWarningMsg, "q7rk-results: cannot write /x/lb53A100.db");
        QVERIFY(job.import({p.path("old.mdb")}));
        QVERIFY(finished.wait(10000));
        const QString text = oldImportReportText(job.report());
        for (const char* said : {"意外终止（崩溃）", "停止前的进度：50%", "已写入的测试都是完整的"})
            QVERIFY2(text.contains(QString::fromUtf8(said)), qPrintable(text));
        QVERIFY2(!text.contains("cannot write"), qPrintable(text));

        // Looked for beside the program first, then in the build tree beside it.
        const QString app = p.path("build/src/app");
        QVERIFY(QDir().mkpath(app) && QDir().mkpath(p.path("build/tools/results")));
        writeFile(p.path("build/tools/results/q7rk-results"), "#!/bin/sh\n", true);
        QCOMPARE(resultsTool::find(app), p.path("build/tools/results/q7rk-results"));
        writeFile(app + "/q7rk-results", "#!/bin/sh\n", true);
        QCOMPARE(resultsTool::find(app), app + "/q7rk-results");
    }

    // The dry run against the station's settings file says what would be written; the import
    // goes into the station's own store, the panels show it, and a later write of the station
    // keeps it in the file.
    void oldSettingsGoIntoTheStationsOwnStore() {
        TestStation p;
        p.station.startUp();
        OldSettingsImport& preview = p.station.oldSettingsImport();
        preview.setTool(Tool);
        QTemporaryDir dir;
        const QString reg = copies(dir, {"sample-5.00.reg"}).first();
        QSignalSpy previewed(&preview, &OldSettingsImport::previewed);
        QVERIFY(preview.preview(reg, p.settings.filePath()));
        QVERIFY(previewed.wait(30000));
        QVERIFY2(preview.lastPreview().importable(), qPrintable(preview.lastPreview().failure));
        QCOMPARE(preview.lastPreview().written, 7);
        QVERIFY(oldSettingsPreviewText(preview.lastPreview())
                    .contains(QString::fromUtf8("将写入 7 项设置。")));
        QCOMPARE(SettingsStore(p.settings.filePath()).read("topic", "LBUSER(0)"), QString());

        const OldSettingsOutcome outcome = p.station.importOldSettings(reg);
        QVERIFY2(outcome.error.isEmpty(), qPrintable(outcome.error));
        QCOMPARE(outcome.done.written, 7);
        QCOMPARE(p.panel.text(0, Box::TvTestNumber), QString("1203"));
        QCOMPARE(p.panel.text(0, Box::TvOperator), QString::fromUtf8("张三"));
        QCOMPARE(p.channels.voltageAdjust[0], 1.002f);
        p.station.searchSerialAt(p.path("no-port")); // writes the store
        const SettingsStore onDisk(p.settings.filePath());
        QCOMPARE(onDisk.read("canshu", "comdev(1)"), p.path("no-port"));
        QCOMPARE(onDisk.read("canshu", "Vadjust(0)"), QString("1.002"));
        QCOMPARE(onDisk.read("topic", "company"),
                 QString::fromUtf8("某某电子有限公司 \"二厂\" C:\\data"));

        // An export without the old program's settings names the applications it holds.
        const QString other = dir.filePath("other.reg");
        writeFile(other, "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\VB and VBA Program "
                         "Settings\\Other App\\Startup]\r\n\"Top\"=\"75\"\r\n");
        QVERIFY(preview.preview(other, p.settings.filePath()));
        QVERIFY(previewed.wait(30000));
        QVERIFY(!preview.lastPreview().importable());
        QCOMPARE(preview.lastPreview().applications, QStringList{"Other App"});
        QVERIFY(oldSettingsPreviewText(preview.lastPreview()).endsWith("\nOther App"));
        QCOMPARE(p.station.importOldSettings(other).done.written, 0);
    }
};

QTEST_MAIN(OldImportTest)
#include "tst_oldimport.moc"
