#include "plant/UploadQueue.h"
#include "results/ResultStore.h"
#include "support/StoredTests.h"
#include "version/Version.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace q7rk;
using q7rk::testing::storedTest;

namespace {

// Passwords put where a careless set-up leaves them: in the settings under a key named for
// one and inside a connection text, in the data source, and in a log line.
const QByteArray SettingsSecret = "Sett-Secret-55";
const QByteArray ConnectionSecret = "Conn-Secret-66";
const QByteArray SourceSecret = "Odbc-Secret-77";

bool write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

// `q7rk-results diagnostics` on a data folder with everything support asks for, its archive
// read back with Info-ZIP's unzip.
class DiagnosticsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString data(const QString& name = {}) const {
        return name.isEmpty() ? path(QStringLiteral("data")) : path(QStringLiteral("data/") + name);
    }

    QByteArray run(const QStringList& args, int expectedExit, QByteArray* errors = nullptr) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ODBCINI", path("odbc.ini"));
        env.insert("ODBCSYSINI", path("odbc-system"));
        p.setProcessEnvironment(env);
        p.start(args.first(), args.mid(1));
        if (!p.waitForFinished(60000)) return "timeout";
        if (errors) *errors = p.readAllStandardError();
        if (p.exitCode() != expectedExit) {
            qWarning("%s exit %d: %s", qPrintable(args.first()), p.exitCode(),
                     p.readAllStandardError().constData());
            return "unexpected exit";
        }
        return p.readAllStandardOutput();
    }

    QByteArray entry(const QString& archive, const QString& name) {
        return run({"unzip", "-p", archive, name}, 0);
    }

private slots:
    void initTestCase() {
        const QDate today = QDate::currentDate();
        const auto day = [&](int back) { return today.addDays(-back).toString(Qt::ISODate); };
        QVERIFY(write(data("logs/q7rk-%1.log").arg(day(10)), "old day, not wanted\n"));
        QVERIFY(write(data("logs/q7rk-%1.log").arg(day(0)),
                      "10:00:00.000 I q7rk.plant: today's line, connecting with " + SourceSecret +
                          "\n"));
        QVERIFY(write(data("logs/q7rk-run-%1.log").arg(day(6)), "the runner's line\n"));
        QVERIFY(write(data("logs/链路-1.trace"), QByteArray(3000, 'T')));

        QVERIFY(write(path("settings.ini"),
                      "[canshu]\nhcdy(0)=200\nplantPassword=" + SettingsSecret +
                          "\nspareLink=DSN=plant;UID=q7;PWD=" + ConnectionSecret + ";\n"));
        QVERIFY(write(path("odbc.ini"), "[result]\nDriver=SQLite3\nDatabase=/srv/plant.db\n"
                                        "UID=q7rk_station\nPassword=" +
                                            SourceSecret + "\n"));
        QVERIFY(write(path("odbc-system/odbcinst.ini"),
                      "[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=libsqlite3odbc.so\n"));

        ResultStore store(data());
        for (const char* number : {"A1HL", "A2HL"})
            QVERIFY(store.save(storedTest(TestKind::Tv, {{"测试编号", number}})).ok);
        QVERIFY(write(data("djy53A100.db"), QByteArray(4096, 'x'))); // no database
        PieceUpload piece;
        piece.serial = QStringLiteral("R0702");
        piece.curveNumber = 2;
        QVERIFY(UploadQueue(data("plant-queue.db"))
                    .add(piece, OutboxState::Held, QStringLiteral("Vt超出范围"))
                    .ok());
    }

    void archiveHoldsWhatSupportNeedsAndNoPassword() {
        const QString archive = path("out/diag.zip");
        QDir().mkpath(path("out"));
        const QByteArray report = run({Q7RK_RESULTS_TOOL, "diagnostics", "--workdir", data(),
                                       "--settings", path("settings.ini"), "--out", archive},
                                      0);
        QVERIFY2(report.contains("\"file\""), report.constData());
        QVERIFY(run({"unzip", "-tq", archive}, 0).contains("No errors detected"));

        const QStringList names =
            QString::fromUtf8(run({"unzip", "-Z1", archive}, 0)).split('\n', Qt::SkipEmptyParts);
        const QDate today = QDate::currentDate();
        for (const QString& wanted :
             {QStringLiteral("summary.txt"), QStringLiteral("settings.ini"),
              QStringLiteral("odbc.txt"), QStringLiteral("versions.txt"),
              QStringLiteral("results.txt"), QStringLiteral("plant-queue.txt"),
              QStringLiteral("logs/q7rk-%1.log").arg(today.toString(Qt::ISODate)),
              QStringLiteral("logs/q7rk-run-%1.log").arg(today.addDays(-6).toString(Qt::ISODate)),
              QStringLiteral("logs/链路-1.trace")})
            QVERIFY2(names.contains(wanted), qPrintable(wanted + " in " + names.join(' ')));
        QVERIFY(!names.contains(
            QStringLiteral("logs/q7rk-%1.log").arg(today.addDays(-10).toString(Qt::ISODate))));

        for (const QString& name : names) {
            const QByteArray bytes = entry(archive, name);
            for (const QByteArray& secret : {SettingsSecret, ConnectionSecret, SourceSecret})
                QVERIFY2(!bytes.contains(secret), qPrintable(name + ": " + secret));
        }

        const QByteArray settings = entry(archive, "settings.ini");
        QVERIFY(settings.contains("hcdy(0)=200\nplantPassword=******\n"));
        QVERIFY(settings.contains("spareLink=DSN=plant;UID=q7;PWD=******;"));
        const QByteArray odbc = entry(archive, "odbc.txt");
        QVERIFY(odbc.contains("[result]\nDriver=SQLite3\nDatabase=/srv/plant.db\n"
                              "UID=q7rk_station\nPassword=******\n"));
        const QString versions = QString::fromUtf8(entry(archive, "versions.txt"));
        QVERIFY(versions.contains(QStringLiteral("q7rk-results ") + version::Number));
        QVERIFY(versions.contains(QStringLiteral("Qt: ") + qVersion()));
        QVERIFY(versions.contains(QStringLiteral("SQLite: 3.")));
        QVERIFY(versions.contains(QStringLiteral("[SQLite3]\nDescription=SQLite3 ODBC Driver\n"
                                                 "Driver=libsqlite3odbc.so")));

        const QString results = QString::fromUtf8(entry(archive, "results.txt"));
        QVERIFY2(results.contains(QStringLiteral("lb53A100.db（TV测试）")) &&
                     results.contains(QStringLiteral("  测试: 2\n")) &&
                     results.contains(QStringLiteral("  表 铝箔TV参数: 2 行\n")) &&
                     results.contains(QStringLiteral("  表 曲线数据: 4 行\n")),
                 qPrintable(results));
        QVERIFY(results.contains(QStringLiteral("ldl53A100.db（漏电流测试）：不存在")));
        QVERIFY(results.contains(
            QStringLiteral("djy53A100.db（电解液测试）：4096 字节\n  无法读取：")));
        QVERIFY(QString::fromUtf8(entry(archive, "plant-queue.txt"))
                    .contains(QStringLiteral("\tR0702\t2\t被拒绝，需处理\tVt超出范围\t")));
        QVERIFY(QString::fromUtf8(entry(archive, "summary.txt")).contains(data()));
    }

    // A target that cannot be written fails with the reason and leaves no part of an archive.
    void unwritableTargetFailsAndLeavesNothing() {
        for (const QString& archive : {path("missing-folder/diag.zip"), path("a-folder")}) {
            QDir().mkpath(path("a-folder"));
            const QStringList before = QDir(m_dir.path()).entryList(QDir::AllEntries);
            QByteArray errors;
            QCOMPARE(run({Q7RK_RESULTS_TOOL, "diagnostics", "--workdir", data(), "--out", archive},
                         1, &errors),
                     QByteArray());
            QVERIFY2(
                QString::fromUtf8(errors).contains(QStringLiteral("无法写入“%1”").arg(archive)),
                errors.constData());
            QCOMPARE(QDir(m_dir.path()).entryList(QDir::AllEntries), before);
        }
    }
};

QTEST_GUILESS_MAIN(DiagnosticsTest)
#include "tst_diagnostics.moc"
