// How a program ends in the middle of a run, as a process: the runner and the window each
// stopped by a signal, the runner's time limit, the window killed outright and the display
// taken away. Whatever ends the run, the instrument hears the test-end command twice before
// the connection closes (read from the simulator's frame log), and a judged test survives a
// kill in the recovery journal until the next start stores it, and a stored TV piece survives
// a kill in the plant outbox until a retry sends it, once.
#include "plant/UploadQueue.h"
#include "results/RecoveryJournal.h"
#include "results/ResultStore.h"
#include "settings/SettingsStore.h"
#include "support/KeptRecords.h"
#include "support/SimulatorProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <csignal>

using q7rk::testing::SimulatorProcess;

namespace {

const QString kScale = QStringLiteral("20");
const QStringList kEnd{"11", "11", "closed"};

// TV on channels 1-3 with the operators' names, so that a save has every box it needs.
QString tvSettings(const QString& path, const QString& delay = QStringLiteral("30")) {
    q7rk::SettingsStore store(path);
    store.write("canshu", "option1(0)", "False");
    store.write("canshu", "option1(1)", "False");
    for (int k = 0; k < 3; ++k) {
        store.write("canshu", QString("Thl(%1)").arg(k), delay);
        store.write("canshu", QString("TVcsbh(%1)").arg(k), QString("E%1").arg(k + 1));
        store.write("topic", QString("LBUSER(%1)").arg(k), QString::fromUtf8("张工"));
    }
    return path;
}

bool waitForPolls(const QString& log, int polls) {
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (SimulatorProcess::loggedCodes(log).count(7) >= polls) return true;
        QTest::qWait(20);
    }
    return false;
}

bool waitForLine(QProcess& p, const QByteArray& line, int ms = 10000) {
    QDeadlineTimer deadline(ms);
    QByteArray seen;
    while (!deadline.hasExpired()) {
        p.waitForReadyRead(50);
        seen += p.readAllStandardOutput();
        if (seen.contains(line + '\n')) return true;
        if (p.state() == QProcess::NotRunning) return false;
    }
    return false;
}

} // namespace

class ProgramEndTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString file(const QString& name) const { return m_dir.filePath(name); }

    // The window in a process of its own, in `workdir`, connected and running `group`.
    bool startWindow(QProcess& window, const QString& workdir, quint16 port, const QString& group,
                     const QString& saveAnswer,
                     const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
        window.setProcessEnvironment(env);
        window.setWorkingDirectory(workdir);
        window.start(QStringLiteral(Q7RK_WINDOW_PATH),
                     {tvSettings(workdir + "/settings.ini"), QString::number(port), group, kScale,
                      saveAnswer});
        return waitForLine(window, "RUNNING");
    }

private slots:
    void runnerEnds_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("SIGTERM") << "TERM" << 6;
        QTest::newRow("SIGINT") << "INT" << 6;
        QTest::newRow("SIGHUP") << "HUP" << 6;
        QTest::newRow("SIGQUIT") << "QUIT" << 6;
        QTest::newRow("--max-seconds") << "time" << 5;
    }
    // The runner stopped by a signal or its time limit stops the run as the stop button does.
    void runnerEnds() {
        QFETCH(QString, how);
        QFETCH(int, exitCode);
        const QString log = file("runner-" + how + ".log");
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", kScale, "--log", log}), qPrintable(sim.error()));
        QProcess runner;
        QStringList args{"--workdir",    m_dir.path(),
                         "--settings",   tvSettings(file("runner.ini")),
                         "--link",       QString("tcp:127.0.0.1:%1").arg(sim.port()),
                         "--group",      "1-3",
                         "--time-scale", kScale};
        if (how == "time")
            args << "--max-seconds"
                 << "1.5";
        runner.start(QStringLiteral(Q7RK_RUNNER_PATH), args);
        QVERIFY(waitForPolls(log, 20));
        if (how != "time") {
            const int number = how == "TERM"  ? SIGTERM
                               : how == "INT" ? SIGINT
                               : how == "HUP" ? SIGHUP
                                              : SIGQUIT;
            ::kill(pid_t(runner.processId()), number);
        }
        QVERIFY(runner.waitForFinished(10000));
        QCOMPARE(runner.exitStatus(), QProcess::NormalExit);
        QCOMPARE(runner.exitCode(), exitCode);
        QTRY_COMPARE(SimulatorProcess::afterLastPoll(log), kEnd);
    }

    void windowEnds_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        QTest::newRow("SIGQUIT") << int(SIGQUIT);
    }
    // The window (offscreen) stopped by a signal: no question, the end told, then it closes.
    void windowEnds() {
        QFETCH(int, signalNumber);
        const QString log = file(QString("window-%1.log").arg(signalNumber));
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", kScale, "--log", log}), qPrintable(sim.error()));
        QTemporaryDir workdir;
        QProcess window;
        QVERIFY(startWindow(window, workdir.path(), sim.port(), "1-3", "no"));
        QVERIFY(waitForPolls(log, 10));
        ::kill(pid_t(window.processId()), signalNumber);
        QVERIFY(window.waitForFinished(10000));
        QCOMPARE(window.exitStatus(), QProcess::NormalExit);
        QTRY_COMPARE(SimulatorProcess::afterLastPoll(log), kEnd);
        QVERIFY(!window.readAllStandardOutput().contains("UNANSWERED"));
    }

    // The X server goes away in the middle of a run: the window system's library ends the
    // process on the spot, and the frame kept ready for that still reaches the instrument.
    void theDisplayGoesAway() {
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        if (xvfb.isEmpty()) QSKIP("Xvfb is not installed (package xvfb): no display to take away");
        const QString log = file("display.log");
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", kScale, "--log", log}), qPrintable(sim.error()));
        const QString display = QString(":%1").arg(90 + QCoreApplication::applicationPid() % 100);
        QProcess server;
        server.start(xvfb, {display, "-nolisten", "tcp", "-screen", "0", "1280x1024x24"});
        QVERIFY(server.waitForStarted());
        QTest::qWait(500);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("DISPLAY", display);
        QTemporaryDir workdir;
        QProcess window;
        QVERIFY2(startWindow(window, workdir.path(), sim.port(), "1-3", "no", env),
                 window.readAllStandardError().constData());
        QVERIFY(waitForPolls(log, 10));
        server.kill();
        QVERIFY(window.waitForFinished(10000));
        QTRY_COMPARE(SimulatorProcess::afterLastPoll(log), kEnd);
    }

    // Killed at the save question after channel 1 was judged: the next start (here the
    // runner's --recover) offers the test, and Yes stores exactly what the window had judged:
    // every field, the curve and the measurement conditions.
    void aKilledWindowLosesNoJudgedTest() {
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", kScale}), qPrintable(sim.error()));
        QTemporaryDir workdir;
        QProcess window;
        window.setWorkingDirectory(workdir.path());
        window.start(QStringLiteral(Q7RK_WINDOW_PATH),
                     {tvSettings(workdir.filePath("settings.ini"), "5"),
                      QString::number(sim.port()), "1", kScale, "no"});
        QVERIFY(waitForLine(window, "ENDED", 20000));
        window.kill();
        QVERIFY(window.waitForFinished(5000));
        q7rk::testing::records::keepFolder(workdir.path(), "killed");

        const q7rk::RecoveryJournal journal(workdir.path());
        const auto held = journal.read();
        QVERIFY(held.error.isEmpty());
        QCOMPARE(held.entries.size(), 1);
        const q7rk::JournalEntry judged = held.entries.first();
        QVERIFY(!judged.verdict.isEmpty());

        QProcess runner;
        const QStringList recover{"--recover", "--settings", workdir.filePath("settings.ini"),
                                  "--workdir", workdir.path()};
        runner.start(QStringLiteral(Q7RK_RUNNER_PATH), recover);
        QVERIFY(runner.waitForFinished(20000));
        QCOMPARE(runner.exitCode(), 64); // nobody answered the question: nothing given up
        QCOMPARE(journal.read().entries.size(), 1);
        runner.start(QStringLiteral(Q7RK_RUNNER_PATH),
                     recover + QStringList{"--answer-recovery", "yes"});
        QVERIFY(runner.waitForFinished(20000));
        QCOMPARE(runner.exitCode(), 0);
        const QJsonArray recovered =
            QJsonDocument::fromJson(runner.readAllStandardOutput())["recovered"].toArray();
        QCOMPARE(recovered.size(), 1);
        QVERIFY(recovered[0]["stored"].toBool());
        QVERIFY(journal.read().entries.isEmpty());

        const auto stored = q7rk::ResultStore(workdir.path())
                                .load(q7rk::TestKind::Tv, q7rk::TestKey{judged.test.testNumber()});
        QVERIFY(stored);
        QCOMPARE(stored->values, judged.test.values);
        QCOMPARE(stored->curve.size(), judged.test.curve.size());
        // The file keeps 0.1 V and 0.001 mA, as shown; the journal the samples themselves.
        for (std::size_t i = 0; i < stored->curve.size(); ++i) {
            QVERIFY(std::abs(stored->curve[i].volts - judged.test.curve[i].volts) < 1e-4);
            QVERIFY(std::abs(stored->curve[i].milliamperes - judged.test.curve[i].milliamperes) <
                    1e-6);
        }
        QVERIFY(stored->conditions && judged.test.conditions);
        QCOMPARE(stored->conditions->polls, judged.test.conditions->polls);
        QCOMPARE(stored->conditions->ended, judged.test.conditions->ended);
        q7rk::testing::records::keepFolder(workdir.path(), "recovered");
    }

    void aKilledWindowLosesNoPlantPiece_data() {
        QTest::addColumn<bool>("inFlight");
        QTest::newRow("before the upload question") << false;
        QTest::newRow("while the piece is sent") << true;
    }
    // Killed after the local save, at the upload question or while the piece's transaction
    // waits on the plant: the outbox kept the piece with its test,
    // and the set-up tool's retry (twice) puts it into the plant once, with the stored values.
    void aKilledWindowLosesNoPlantPiece() {
        QFETCH(bool, inFlight);
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", kScale}), qPrintable(sim.error()));
        QTemporaryDir workdir;
        const QString plantIni = workdir.filePath("plant.ini");
        QProcessEnvironment plantEnv = QProcessEnvironment::systemEnvironment();
        plantEnv.insert("ODBCINI", plantIni);
        QByteArray said;
        const auto plantdb = [&](const QStringList& args) {
            QProcess tool;
            QProcessEnvironment toolEnv = plantEnv;
            // In the sanitizer build the SQLite ODBC driver's own leaks are told apart from
            // ours only on whole stacks, as in the plant tests.
            if (toolEnv.contains("LSAN_OPTIONS"))
                toolEnv.insert("LSAN_OPTIONS",
                               toolEnv.value("LSAN_OPTIONS") + ":fast_unwind_on_malloc=0");
            tool.setProcessEnvironment(toolEnv);
            tool.start(QStringLiteral(Q7RK_PLANTDB_PATH), args);
            const bool ended = tool.waitForFinished(30000);
            said = tool.readAllStandardOutput() + tool.readAllStandardError();
            return ended ? tool.exitCode() : -1;
        };
        QVERIFY2(plantdb({"init", "--file", workdir.filePath("plant.db")}) == 0, said.constData());
        // In flight: another writer holds the plant's write lock, so the piece's transaction
        // waits on a server that took it and does not finish.
        QSqlDatabase plant = QSqlDatabase::addDatabase("QSQLITE", "plant");
        plant.setDatabaseName(workdir.filePath("plant.db"));
        QVERIFY(plant.open());
        if (inFlight) QVERIFY(QSqlQuery(plant).exec("begin immediate"));
        QProcess window;
        window.setProcessEnvironment(plantEnv);
        window.setWorkingDirectory(workdir.path());
        window.start(QStringLiteral(Q7RK_WINDOW_PATH),
                     {tvSettings(workdir.filePath("settings.ini"), "5"),
                      QString::number(sim.port()), "1", kScale, "yes", inFlight ? "yes" : "hold"});
        QVERIFY(waitForLine(window, "UPLOAD-ASKED", 30000));
        if (inFlight) QTest::qWait(500);
        window.kill();
        QVERIFY(window.waitForFinished(5000));
        if (inFlight) QVERIFY(QSqlQuery(plant).exec("rollback"));
        q7rk::testing::records::keepFolder(workdir.path(), "killed");

        const q7rk::UploadQueue outbox(workdir.filePath(q7rk::UploadQueue::FileName));
        const auto waiting = outbox.entries();
        QCOMPARE(int(waiting.value.size()), 1);
        const q7rk::QueuedUpload entry = waiting.value.front();
        QCOMPARE(entry.state, q7rk::OutboxState::Unasked);
        QVERIFY(entry.origin);
        const auto stored =
            q7rk::ResultStore(workdir.path()).load(q7rk::TestKind::Tv, entry.origin->key);
        QVERIFY(stored);

        for (int pass = 0; pass < 2; ++pass)
            QVERIFY2(plantdb({"retry", "--held", "--workdir", workdir.path()}) == 0,
                     said.constData());
        QVERIFY(outbox.entries().value.empty());
        QSqlQuery q(plant);
        QVERIFY(q.exec(QString("select (select count(*) from Curve where SerNum='%1'), count(*), "
                               "max(Vt) from Part_Parameter where SerNum='%1'")
                           .arg(entry.piece.serial)) &&
                q.next());
        QCOMPARE(QVariantList({q.value(0), q.value(1)}), QVariantList({1, 1}));
        QCOMPARE(q.value(2).toDouble(), stored->value("TV值").toDouble());
        q7rk::testing::records::keepFolder(workdir.path(), "retried");
        q = QSqlQuery();
        plant.close();
        plant = QSqlDatabase();
        QSqlDatabase::removeDatabase("plant");
    }
};

QTEST_GUILESS_MAIN(ProgramEndTest)
#include "tst_program_end.moc"
