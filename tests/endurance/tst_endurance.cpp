// Weeks of a station's work, quickly: TV groups one after another against the simulator, each
// saved into the result files and uploaded to the plant through the SQLite ODBC driver, in
// process and through the window, watched for growth of memory, open files and database
// connections. CTest runs a short length; Q7RK_ENDURANCE_GROUPS=200 runs a long one by hand.
#include "SoakRun.h"
#include "app/MainWindow.h"
#include "execution/RunController.h"
#include "link/EthernetLink.h"
#include "params/PanelModel.h"
#include "plant/PlantSetup.h"
#include "results/ResultStore.h"
#include "station/PieceUploadWorkflow.h"
#include "support/SimulatorProcess.h"

#include <QAbstractButton>
#include <QAction>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace q7rk;

namespace {

// Program and model 40 times faster than real time; with the quick rise and the short delay of
// the settings a group is about 15 samples: well under a second.
const Timing kFast = Timing{}.scaled(40);

} // namespace

class EnduranceTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    testing::SimulatorProcess m_sim;
    QString m_oldDir = QDir::currentPath();

    // Settings with no boiling preset, so the short stored delay counts, and a working folder
    // of their own for the result files and the queue.
    SoakRun::Options prepare(const QString& name, int shortRun) {
        QDir(m_dir.path()).mkpath(name);
        QDir::setCurrent(m_dir.filePath(name));
        SoakRun::Options o;
        o.settings = m_dir.filePath(name + ".ini");
        SettingsStore settings(o.settings);
        for (const char* key : {"option1(0)", "option1(1)"})
            settings.write("canshu", key, "False");
        for (int k = 0; k < 3; ++k)
            settings.write("canshu", QString("Thl(%1)").arg(k), "10");
        o.link = QString("tcp:127.0.0.1:%1").arg(m_sim.port());
        o.groups = qEnvironmentVariableIntValue("Q7RK_ENDURANCE_GROUPS");
        o.groups = o.groups > 0 ? o.groups : shortRun;
        o.timing = kFast;
        o.every = o.groups > 50 ? 20 : 10;
        o.warmUp = o.groups > 50 ? o.groups / 2 : 10; // a long run's caches take longer to fill
        return o;
    }

private slots:
    void initTestCase() {
        qputenv("ODBCINI", QFile::encodeName(m_dir.filePath("odbc.ini")));
        const PlantStatus plant = PlantSetup::initSqlite(m_dir.filePath("plant.db"), "result");
        QVERIFY2(plant.ok(), qPrintable(plant.message));
        // Sixteen times the usual rise rate: at the formation voltage in about 5 s.
        QVERIFY2(m_sim.start({"--time-scale", "40", "--rate", "20"}), qPrintable(m_sim.error()));
    }
    void cleanupTestCase() { QDir::setCurrent(m_oldDir); }

    void groupsInProcess() {
        SoakRun run(prepare("station", 30));
        const int groups = run.options().groups;
        QSignalSpy finished(&run, &SoakRun::finished);
        run.begin();
        QVERIFY(finished.wait(groups * 10000));
        QCOMPARE(finished[0][0].toString(), QString());
        QCOMPARE(run.piecesUploaded(), 3 * groups);
        QCOMPARE(run.station().results().allRows(TestKind::Tv).count(), 3 * groups);
        QCOMPARE(run.watch().growth(), QString());
    }

    // Through the window, with the query window opened and asked again after every save (a
    // start closes it).
    void groupsThroughTheWindow() {
        const SoakRun::Options o = prepare("window", 20);
        auto owned = std::make_unique<ScriptedPrompter>();
        ScriptedPrompter& prompter = *owned;
        prompter.setAnswer({Question::ConfirmStart, Question::SaveResults, Question::UploadPiece},
                           true);
        MainWindow window(o.settings, std::move(owned), kFast);
        window.show();
        window.panel().setText(0, Box::InstrumentAddress, "127.0.0.1");
        window.panel().setText(0, Box::InstrumentPort, o.link.section(':', -1));
        QSignalSpy handshake(&window.station().ethernetLink(), &EthernetLink::handshakeReplied);
        window.findChild<QAction*>("RJ45")->trigger();
        QVERIFY(handshake.wait(5000));
        QSignalSpy sent(&window.station().run(), &RunController::resultsSent);
        // The query window shows every stored test again: three more rows a group.
        UsageWatch watch("window", o.every, o.warmUp, o.rssBoundKbPerGroup + 8);
        for (int g = 1; g <= o.groups; ++g) {
            for (int k = 0; k < 3; ++k) {
                window.panel().setText(k, Box::TvTestNumber, QString("W%1%2").arg(g).arg(k));
                window.panel().setText(k, Box::TvOperator, "王工");
            }
            window.findChild<QAbstractButton*>("test13")->click();
            QVERIFY2(sent.wait(30000) && window.station().pieceUpload().lastUpload().uploaded ==
                                             QList<int>({1, 2, 3}),
                     qPrintable(prompter.texts().join('|')));
            prompter.clear();
            QTest::ignoreMessage(QtWarningMsg, "This plugin does not support raise()");
            window.showQuery();
            auto* query = window.findChild<QWidget*>("query"); // a start closed the last one
            query->findChild<QAbstractButton*>("Command1")->click();
            QCOMPARE(query->findChild<QLineEdit*>("Text4")->text(), QString::number(3 * g));
            watch.note(g);
        }
        QCOMPARE(watch.growth(), QString());
    }
};

QTEST_MAIN(EnduranceTest)
#include "tst_endurance.moc"
