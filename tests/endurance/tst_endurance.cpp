// Weeks of a station's work, quickly: TV groups one after another against the simulator, each
// saved into the result files and uploaded to the plant through the SQLite ODBC driver, while
// resident memory, open files and database connections are watched for growth. CTest runs a
// short length; Q7RK_ENDURANCE_GROUPS=200 runs a long one by hand.
#include "app/MainWindow.h"
#include "plant/PlantSetup.h"
#include "plant/PlantTexts.h"
#include "support/Program.h"
#include "support/SimulatorProcess.h"

#include <QAbstractButton>
#include <QAction>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>

#include <dirent.h>

using namespace q7rk;

namespace {

// Program and model 40 times faster than real time; with the quick rise and the short delay of
// the settings a group is about 30 samples: under a second.
const Timing kFast = Timing{}.scaled(40);
// Caches, pools and the first result files settle within the first groups.
constexpr int WarmUp = 10;
// A station runs about 150 groups a day, some 4,500 in a month without a restart. Growth
// beyond 8 KB a group would be over 35 MB a month: a leak, not a cache settling.
constexpr double RssBoundKbPerGroup = 8;

int groupCount(int shortRun) {
    const int n = qEnvironmentVariableIntValue("Q7RK_ENDURANCE_GROUPS");
    return n > 0 ? n : shortRun;
}

struct Usage {
    double rssKb = 0;
    int files = 0;
    int connections = 0;
};

Usage usageNow() {
    Usage u;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:")) u.rssKb = line.mid(6).trimmed().split(' ')[0].toDouble();
    if (DIR* fds = opendir("/proc/self/fd")) {
        while (const dirent* e = readdir(fds))
            u.files += e->d_name[0] != '.';
        closedir(fds);
        --u.files; // the listing's own
    }
    u.connections = int(QSqlDatabase::connectionNames().size());
    return u;
}

// The figures after every group, printed every tenth (every twentieth in a long run).
class Watch {
public:
    Watch(const char* part, int groups) : m_part(part), m_every(groups > 50 ? 20 : 10) {}

    void note(int group) {
        m_seen << usageNow();
        const Usage& u = m_seen.last();
        if (group % m_every == 0)
            std::printf("%s, group %d: VmRSS %.0f kB, %d open files, %d SQL connections\n", m_part,
                        group, u.rssKb, u.files, u.connections);
        std::fflush(stdout);
    }

    // Empty when nothing grew after the warm-up: open files and connections not at all,
    // resident memory by its least-squares slope.
    QString growth() const {
        const Usage& base = m_seen[WarmUp - 1];
        for (qsizetype i = WarmUp; i < m_seen.size(); ++i)
            if (m_seen[i].files > base.files || m_seen[i].connections > base.connections)
                return QString("group %1: %2 open files, %3 connections; %4 and %5 at group %6")
                    .arg(i + 1)
                    .arg(m_seen[i].files)
                    .arg(m_seen[i].connections)
                    .arg(base.files)
                    .arg(base.connections)
                    .arg(WarmUp);
        double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
        for (qsizetype i = WarmUp - 1; i < m_seen.size(); ++i, ++n) {
            sx += double(i), sy += m_seen[i].rssKb;
            sxx += double(i * i), sxy += double(i) * m_seen[i].rssKb;
        }
        const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
        std::printf("%s: VmRSS grows %.1f kB a group after the warm-up\n", m_part, slope);
#ifndef Q7RK_ENDURANCE_NO_MEMORY_BOUND
        if (slope > RssBoundKbPerGroup)
            return QString("resident memory grows %1 kB a group").arg(slope, 0, 'f', 1);
#endif
        return {};
    }

private:
    const char* m_part;
    int m_every;
    QList<Usage> m_seen;
};

void answerYes(ScriptedPrompter& prompter) {
    prompter.setAnswerFor(QStringLiteral("您确定要开始运行吗？"), true);
    prompter.setAnswerFor(QStringLiteral("测试结束，需要保存吗？"), true);
    for (int n = 1; n <= 3; ++n)
        prompter.setAnswerFor(plantTexts::uploadQuestion(n), true);
}

// Numbers of their own for every group, so nothing is refused as a duplicate.
void nameGroup(PanelModel& panel, int group) {
    for (int k = 0; k < 3; ++k) {
        panel.setText(k, boxes::TvTestNumber, QString("E%1%2").arg(group).arg(QChar('A' + k)));
        panel.setText(k, boxes::TvOperator, QStringLiteral("王工"));
    }
}

// A finished group: saved, and all three pieces in the plant database.
QString groupProblem(Station& station, const ScriptedPrompter& prompter) {
    if (station.lastSave().ok && station.plant().lastUpload().uploaded == QList<int>{1, 2, 3})
        return {};
    return prompter.texts().join(QLatin1Char('|'));
}

} // namespace

class EnduranceTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    testing::SimulatorProcess m_sim;
    QString m_oldDir = QDir::currentPath();

    // A settings file with no boiling preset, so the short stored delay counts, and a working
    // folder of its own for the result files and the queue.
    QString prepare(const QString& name) {
        QDir(m_dir.path()).mkpath(name);
        QDir::setCurrent(m_dir.filePath(name));
        const QString path = m_dir.filePath(name + ".ini");
        SettingsStore settings(path);
        settings.write("canshu", "option1(0)", "False");
        settings.write("canshu", "option1(1)", "False");
        for (int k = 0; k < 3; ++k)
            settings.write("canshu", QString("Thl(%1)").arg(k), "20");
        return path;
    }

private slots:
    void initTestCase() {
        qputenv("ODBCINI", QFile::encodeName(m_dir.filePath("odbc.ini")));
        const PlantStatus plant = PlantSetup::initSqlite(m_dir.filePath("plant.db"), "result");
        QVERIFY2(plant.ok(), qPrintable(plant.message));
        // Eight times the usual rise rate: at the formation voltage in about 9 s.
        QVERIFY2(m_sim.start({"--time-scale", "40", "--rate", "10"}), qPrintable(m_sim.error()));
    }
    void cleanupTestCase() { QDir::setCurrent(m_oldDir); }

    void groupsInProcess() {
        const int groups = groupCount(30);
        testing::Program p(prepare("station"), kFast);
        answerYes(p.prompter);
        p.station.startUp();
        p.panel.setText(0, boxes::InstrumentAddress, "127.0.0.1");
        p.panel.setText(0, boxes::InstrumentPort, QString::number(m_sim.port()));
        QSignalSpy handshake(&p.station.ethernetLink(), &EthernetLink::handshakeReplied);
        p.station.menuTriggered("RJ45");
        QVERIFY(handshake.wait(5000));
        QSignalSpy sent(&p.station.run(), &RunController::resultsSent);
        Watch watch("in process", groups);
        for (int g = 1; g <= groups; ++g) {
            nameGroup(p.panel, g);
            p.station.toolbarClicked("test13");
            QVERIFY2(sent.wait(30000), qPrintable(p.prompter.texts().join('|')));
            const QString problem = groupProblem(p.station, p.prompter);
            QVERIFY2(problem.isEmpty(), qPrintable(QString("group %1: %2").arg(g).arg(problem)));
            p.prompter.clear();
            watch.note(g);
        }
        QCOMPARE(p.station.results().allRows(TestKind::Tv).count(), 3 * groups);
        const QString grew = watch.growth();
        QVERIFY2(grew.isEmpty(), qPrintable(grew));
    }

    // The same through the window, with the query window opened and asked again after every
    // save (a start closes it).
    void groupsThroughTheWindow() {
        const int groups = groupCount(20);
        auto owned = std::make_unique<ScriptedPrompter>();
        ScriptedPrompter& prompter = *owned;
        answerYes(prompter);
        MainWindow window(prepare("window"), std::move(owned), kFast);
        window.show();
        for (const auto& [name, text] : {std::pair{"Text41_0", QString("127.0.0.1")},
                                         std::pair{"Text42_0", QString::number(m_sim.port())}}) {
            auto* box = window.findChild<QLineEdit*>(name);
            box->setText(text);
            emit box->textEdited(text);
        }
        QSignalSpy handshake(&window.station().ethernetLink(), &EthernetLink::handshakeReplied);
        window.findChild<QAction*>("RJ45")->trigger();
        QVERIFY(handshake.wait(5000));
        QSignalSpy sent(&window.station().run(), &RunController::resultsSent);
        Watch watch("window", groups);
        for (int g = 1; g <= groups; ++g) {
            nameGroup(window.panel(), g);
            window.findChild<QAbstractButton*>("test13")->click();
            QVERIFY2(sent.wait(30000), qPrintable(prompter.texts().join('|')));
            const QString problem = groupProblem(window.station(), prompter);
            QVERIFY2(problem.isEmpty(), qPrintable(QString("group %1: %2").arg(g).arg(problem)));
            prompter.clear();
            QTest::ignoreMessage(QtWarningMsg, "This plugin does not support raise()");
            window.showQuery();
            QWidget* query = nullptr;
            for (QWidget* w : window.findChildren<QWidget*>("query"))
                if (w->isVisible()) query = w;
            QVERIFY(query);
            query->findChild<QAbstractButton*>("Command1")->click();
            QCOMPARE(query->findChild<QLineEdit*>("Text4")->text(), QString::number(3 * g));
            watch.note(g);
        }
        const QString grew = watch.growth();
        QVERIFY2(grew.isEmpty(), qPrintable(grew));
    }
};

QTEST_MAIN(EnduranceTest)
#include "tst_endurance.moc"
