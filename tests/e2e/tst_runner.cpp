// q7rk-run against q7rk-instrument: whole TV, leakage and electrolyte runs, checked against
// the simulator's model and the frames it logged.
#include "results/ResultStore.h"
#include "settings/SettingsStore.h"
#include "support/KeptRecords.h"
#include "support/SimulatorProcess.h"
#include "version/Version.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <cmath>

using q7rk::testing::SimulatorProcess;

namespace {

// Program and simulator run 20 times faster than real time.
const QString kScale = QStringLiteral("20");

struct RunResult {
    int exitCode = -1;
    QJsonObject json;
    QString stderrText;
};

// Where runs without --workdir work: this test's own folder, not one that another test's
// runner may hold.
QString ownFolder() {
    static const QTemporaryDir folder;
    return folder.path();
}

RunResult runGroup(const QString& settings, const QString& link, const QString& group,
                   const QStringList& extra = {},
                   const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(ownFolder());
    QStringList args{"--settings",   settings, "--link",        link, "--group", group,
                     "--time-scale", kScale,   "--max-seconds", "60"};
    p.start(QStringLiteral(Q7RK_RUNNER_PATH), args + extra);
    RunResult r;
    if (!p.waitForFinished(90000)) return r;
    r.exitCode = p.exitCode();
    r.json = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    r.stderrText = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// A settings file: the given keys in "canshu" on top of what the first start writes.
QString writeSettings(const QTemporaryDir& dir, const QString& name,
                      const QList<std::pair<QString, QString>>& canshu) {
    const QString path = dir.filePath(name);
    q7rk::SettingsStore store(path);
    // No boiling preset, so the stored delay times count; "topic:KEY" is an operator's name.
    for (const auto& [k, v] :
         QList<std::pair<QString, QString>>{{"option1(0)", "False"}, {"option1(1)", "False"}} +
             canshu)
        store.write(k.startsWith("topic:") ? "topic" : "canshu", k.section(':', -1), v);
    return path;
}

QJsonObject channel(const RunResult& r, int number) {
    for (const QJsonValue& c : r.json.value("channels").toArray())
        if (c.toObject().value("channel").toInt() == number) return c.toObject();
    return {};
}

QString box(const QJsonObject& ch, const char* name) {
    return ch.value("boxes").toObject().value(QLatin1String(name)).toString();
}

double number(const QJsonObject& ch, const char* name) {
    return box(ch, name).toDouble();
}

QList<double> volts(const QJsonObject& ch) {
    QList<double> out;
    for (const QJsonValue& v : ch.value("voltageSamples").toArray())
        out.append(v.toDouble());
    return out;
}

QString tvSettings(const QTemporaryDir& dir, const QString& name = "tv.ini",
                   QList<std::pair<QString, QString>> keys = {}) {
    for (int k = 0; k < 3; ++k)
        keys += {{QString("Thl(%1)").arg(k), "30"},
                 {QString("TVzb(%1)").arg(k), "100"},
                 {QString("TVcsbh(%1)").arg(k), QString("T%1'").arg(k + 1)},
                 {QString("topic:LBUSER(%1)").arg(k), QString::fromUtf8("张工")}};
    return writeSettings(dir, name, keys);
}

// What the save pass stored for a channel equals what the run showed: the samples and the
// boxes the stored-test display writes back.
void checkStored(const QString& workdir, q7rk::TestKind kind, const QJsonObject& ch,
                 const QList<std::pair<const char*, const char*>>& fieldBoxes) {
    const auto stored =
        q7rk::ResultStore(workdir).load(kind, q7rk::TestKey{ch.value("testNumber").toString()});
    QVERIFY2(stored, qPrintable(ch.value("testNumber").toString()));
    const QList<double> v = volts(ch);
    QCOMPARE(int(stored->curve.size()), v.size());
    for (int i = 0; i < v.size(); ++i)
        QCOMPARE(stored->curve[size_t(i)].volts, v[i]);
    QCOMPARE(stored->value(QString::fromUtf8("采样次数")).toInt(), v.size());
    for (const auto& [field, name] : fieldBoxes)
        QCOMPARE(stored->value(QString::fromUtf8(field)).toDouble(), number(ch, name));
}

// Every line of the runner's daily logs in a working folder.
QStringList logLines(const QString& workdir) {
    QStringList lines;
    const QDir logs(workdir + "/logs");
    for (const QString& name : logs.entryList({"q7rk-run-*.log"}, QDir::Files, QDir::Name)) {
        QFile f(logs.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            lines += QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    return lines;
}

qsizetype countContaining(const QStringList& lines, const QString& text) {
    return std::count_if(lines.begin(), lines.end(),
                         [&](const QString& l) { return l.contains(text); });
}

} // namespace

class RunnerTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    void checkTvChannel(const QJsonObject& ch, const char* verdict) {
        const QList<double> v = volts(ch);
        // Point A: the first sample (1-based) at Vr = 200 V x 90 %.
        const auto a = std::find_if(v.begin(), v.end(), [](double x) { return x >= 180 - 1e-6; });
        const int rise = int(a - v.begin()) + 1;
        QVERIFY(rise > 1 && a != v.end());
        QCOMPARE(number(ch, "Text6"), double(rise));
        QCOMPARE(number(ch, "Text27"), double(rise));
        // The end comes with the first sample past rise time + delay; the TV value is the
        // newest sample then. (The run goes on until the slowest channel ends.)
        QVERIFY(v.size() >= rise + 30);
        const double tv = v[rise + 30 - 1];
        QCOMPARE(number(ch, "Text7"), std::round(tv * 10) / 10);
        QCOMPARE(box(ch, "Text8"), QString::fromUtf8(verdict));
        // Point B: the highest voltage from sample 3 to the end, at its first sample.
        const auto running = v.mid(2, rise + 30 - 2);
        const double peak = *std::max_element(running.begin(), running.end());
        QCOMPARE(number(ch, "Text39"), peak);
        QCOMPARE(int(number(ch, "Text38")), int(running.indexOf(peak)) + 3);
        QVERIFY(ch.value("stopped").toBool());
    }

    // A group of another kind against its own simulator, saved into its own folder.
    RunResult runSaved(const QStringList& simulator, const char* name,
                       const QList<std::pair<QString, QString>>& keys, const QString& group) {
        SimulatorProcess sim;
        if (!sim.start(QStringList{"--time-scale", kScale} + simulator)) return {};
        const QString workdir = m_dir.filePath(name);
        QDir().mkpath(workdir);
        return runGroup(writeSettings(m_dir, QString(name) + ".ini", keys),
                        QString("tcp:127.0.0.1:%1").arg(sim.port()), group,
                        {"--answer-save", "yes", "--workdir", workdir});
    }

private slots:
    // A TV run of channels 1-3 ends by itself with the model's verdicts, told to the
    // instrument twice. Yes to saving and to each upload: the pieces reach the plant's default
    // data source after the local store; with the plant away they wait in the local queue,
    // and a retry sends them exactly once.
    void tvRunIsJudgedStoredAndGoesToThePlantOrWaits() {
        QTemporaryDir plant;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ODBCINI", plant.filePath("odbc.ini"));
        // In the sanitizer build: the ODBC driver manager and drivers leave allocations that
        // are unloaded before they can be named; the program's own leaks are checked elsewhere.
        env.insert("ASAN_OPTIONS", "detect_leaks=0");
        const QString database = plant.filePath("plant.db");
        QProcess init;
        init.setProcessEnvironment(env);
        init.start(Q7RK_PLANTDB_PATH, {"init", "--file", database});
        QVERIFY(init.waitForFinished(30000) && init.exitCode() == 0);
        const QString log = m_dir.filePath("tv.log");
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", kScale, "--log", log, "--slow", "2:0.5",
                            "--max-voltage", "3:195"}),
                 qPrintable(sim.error()));
        const QString tcp = QString("tcp:127.0.0.1:%1").arg(sim.port());
        const QString workdir = plant.filePath("first");
        QDir().mkpath(workdir);
        const QString pdf = m_dir.filePath("tv.pdf");
        const RunResult r = runGroup(tvSettings(m_dir), tcp, "1-3",
                                     QStringList{"--answer-save", "yes", "--answer-upload", "1,3",
                                                 "--workdir", workdir, "--report", pdf},
                                     env);
        QVERIFY2(r.exitCode == 0, qPrintable(r.stderrText));
        QVERIFY(r.json.value("saved").toBool());
        QVERIFY(r.json.value("report").toObject().value("written").toBool());
        QProcess text;
        text.start("pdftotext", {"-layout", pdf, "-"});
        QVERIFY(text.waitForFinished(30000));
        // The group's report, with channels 2 and 3 不合格 as judged.
        QCOMPARE(QString::fromUtf8(text.readAllStandardOutput()).count(QString::fromUtf8("不合格")),
                 2);

        // The upload moves the shared sampling cursor to a piece's curve length; the report
        // still shows the samples the run took, which are what the local file holds.
        const QJsonObject c1 = channel(r, 1), c2 = channel(r, 2), c3 = channel(r, 3);
        for (const QJsonObject& c : {c1, c2, c3})
            checkStored(workdir, q7rk::TestKind::Tv, c,
                        {{"化成电压", "Text1"},
                         {"升压时间", "Text6"},
                         {"TV值", "Text7"},
                         {"Vmax", "Text39"}});
        // Piece 2 declined; no foil was opened, so piece 1 goes without a whole-roll row.
        QCOMPARE(r.json.value("status").toArray().at(7).toString(),
                 QString::fromUtf8("存储 3 条记录"));
        QCOMPARE(r.json.value("uploaded").toArray(), QJsonArray({1, 3}));
        QCOMPARE(r.json.value("declined").toArray(), QJsonArray({2}));
        QCOMPARE(r.json.value("withoutFoil").toArray(), QJsonArray({1}));
        // The numbers are taken now: the same group again is refused before it starts.
        const RunResult again = runGroup(tvSettings(m_dir), tcp, "1-3", {"--workdir", workdir});
        QCOMPARE(again.exitCode, 3);
        QCOMPARE(again.json.value("messages").toArray().last().toObject().value("text").toString(),
                 QString::fromUtf8("同名记录TV测试编号：T1'HL 已经存在，请使用其他的编号！"));
        checkTvChannel(c1, "合格"); // rises in time and reaches the formation voltage
        QVERIFY(number(c1, "Text6") <= 100 && number(c1, "Text7") >= 200);
        checkTvChannel(c2, "不合格"); // half the rate: rise time over the limit
        QVERIFY(number(c2, "Text6") > 100);
        QCOMPARE(volts(c2).size(), int(number(c2, "Text6")) + 30); // the slowest ends the run
        checkTvChannel(c3, "不合格"); // capped below the formation voltage
        QVERIFY(number(c3, "Text7") < 200 && number(c3, "Text6") <= 100);

        // Connected, the save question, one upload question per piece in order naming the foil
        // (the first one saying the plant has no whole-roll record either), the note last.
        QStringList said;
        for (const QJsonValue& m : r.json.value("messages").toArray())
            said << m.toObject().value("text").toString();
        qsizetype at = 0;
        for (const char* q : {"测试结束，需要保存吗？",
                              "第1片数据是否保存?（卷号 T1'）\n工厂数据库中没有卷号 T1' 的整卷记录",
                              "第2片数据是否保存?（卷号 T1'）", "第3片数据是否保存?（卷号 T1'）"}) {
            while (at < said.size() && !said[at].startsWith(QString::fromUtf8(q)))
                ++at;
            QVERIFY2(at < said.size(), q);
        }
        QVERIFY(said.first().contains(QString::fromUtf8("连接成功")));
        QVERIFY(said.last().startsWith(QString::fromUtf8("第1片上传时没有整卷数据")));

        // The instrument heard the verdicts twice, a scaled 500 ms apart (at least; a loaded
        // machine may add to it, so only a gap far past the scale fails).
        QTRY_COMPARE_WITH_TIMEOUT(SimulatorProcess::loggedFrames(log, 11).size(), 2, 3000);
        const auto results = SimulatorProcess::loggedFrames(log, 11);
        const qint64 gap = results[0].at.msecsTo(results[1].at);
        QVERIFY2(gap >= 15 && gap < 5000, qPrintable(QString::number(gap)));
        // Channel 1 合格, 2 and 3 不合格, 4 待定.
        for (int k = 0; k < 4; ++k)
            QCOMPARE(results[0].hex.mid(2 * (8 + 16 * k), 2), QByteArray("40808000").mid(2 * k, 2));

        // The plant's database goes away: stored locally, queued for the plant.
        QVERIFY(QFile::rename(database, database + ".away"));
        const QString second = plant.filePath("second");
        QDir().mkpath(second);
        // The foil asked for cannot be opened: its pieces still go under its serial. Set to
        // ask once, the runner's yes answers the group's one question.
        const RunResult away = runGroup(
            tvSettings(m_dir, "tv-once.ini", {{"uploadConfirm", "once"}}), tcp, "1-3",
            {"--answer-save", "yes", "--answer-upload", "yes", "--workdir", second, "--foil", "F9"},
            env);
        QVERIFY2(away.json.value("saved").toBool() && !away.json.value("foilOpened").toBool(),
                 qPrintable(away.stderrText));
        QCOMPARE(away.json.value("queued").toArray(), QJsonArray({1, 2, 3}));
        QStringList asked;
        for (const QJsonValue& m : away.json.value("messages").toArray())
            if (m.toObject().value("text").toString().contains(QString::fromUtf8("是否")))
                asked << m.toObject().value("text").toString();
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked[0].startsWith(
                     QString::fromUtf8("第1、2、3片数据是否上传到工厂数据库?（卷号 F9）")),
                 qPrintable(asked[0]));
        QVERIFY(away.json.value("status").toArray().at(7).toString().contains(
            QString::fromUtf8("未存入工厂数据库")));

        QVERIFY(QFile::rename(database + ".away", database));
        QProcess retry;
        retry.setProcessEnvironment(env);
        retry.start(Q7RK_PLANTDB_PATH, {"retry", "--workdir", second});
        QVERIFY(retry.waitForFinished(30000));
        const QJsonObject done = QJsonDocument::fromJson(retry.readAllStandardOutput()).object();
        QCOMPARE(done.value("uploaded").toArray(),
                 QJsonArray({QJsonArray{"F9", 1}, QJsonArray{"F9", 2}, QJsonArray{"F9", 3}}));
        QCOMPARE(done.value("left").toInt(), 0);
        // Each queued piece left its cause in the day's log.
        const QStringList waited = logLines(second).filter("queued for a retry - ");
        QVERIFY2(waited.size() == 3, qPrintable(logLines(second).filter("q7rk.").join('\n')));
        for (const QString& line : waited)
            QVERIFY2(line.contains("q7rk.plant: piece F9 curve") &&
                         line.contains(QString::fromUtf8("工厂数据库")),
                     qPrintable(line));
        namespace records = q7rk::testing::records;
        records::keepFolder(workdir, "first");
        records::keepFolder(second, "second");
        records::keepFolder(plant.path(), "plant");
    }

    // With every tenth poll unanswered, and channel 2 calibrated apart: the conditions stored
    // beside each test count the lost replies and carry the channel's factors.
    void leakageTestEndsAtItsTestTime() {
        const QStringList factors{"1.02", "1.1", "0.98", "1.05"};
        QList<std::pair<QString, QString>> keys{{"option5(0)", "False"}, {"option6(0)", "True"}};
        for (int i = 0; i < 4; ++i)
            keys += {QStringList{"Vadjust(1)", "Iadjust(1)", "KV(1)", "KI(1)"}[i], factors[i]};
        keys += {{"option8(0)", "False"}, {"option9(0)", "True"}}; // each channel its own limit
        for (int k = 0; k < 2; ++k)
            keys += {{QString("Thy(%1)").arg(k), "120"},
                     {QString("ldldy(%1)").arg(k), "100"},
                     {QString("ldlzb(%1)").arg(k), k ? "0.001" : "0.05"},
                     {QString("TVcsbh(%1)").arg(k), QString("L-%1").arg(k + 1)}};
        SimulatorProcess sim;
        QVERIFY(
            sim.start({"--time-scale", kScale, "--foil-voltage", "1000", "--drop-every", "10"}));
        const QString workdir = m_dir.filePath("leak"),
                      link = QString("127.0.0.1:%1").arg(sim.port());
        QDir().mkpath(workdir);
        const RunResult r = runGroup(writeSettings(m_dir, "leak.ini", keys), "tcp:" + link, "1-2",
                                     {"--answer-save", "yes", "--workdir", workdir});
        QVERIFY2(r.exitCode == 0 && r.json.value("saved").toBool(), qPrintable(r.stderrText));
        for (int c = 1; c <= 2; ++c) {
            const QJsonObject ch = channel(r, c);
            QCOMPARE(volts(ch).size(), 120); // ends with the first sample past the test time
            QCOMPARE(box(ch, "Text12"), box(ch, "Text26"));
            checkStored(workdir, q7rk::TestKind::Leakage, ch,
                        {{"漏电流电压", "Text9"}, {"漏电流", "Text12"}});
            const auto cond = q7rk::ResultStore(workdir).conditions(
                q7rk::TestKind::Leakage, q7rk::TestKey{ch.value("testNumber").toString()});
            QVERIFY(cond && cond->polls > 120 && cond->link == link);
            // A tenth of the polls dropped, each counted once: the polls after an unanswered one
            // leave on time (no Nagle hold), so their replies are not late in a bunch.
            QVERIFY2(cond->lostReplies >= cond->polls / 12 && cond->lostReplies <= cond->polls / 8,
                     qPrintable(QString("%1 of %2").arg(cond->lostReplies).arg(cond->polls)));
            QCOMPARE(cond->version, QString(q7rk::version::Number));
            QVERIFY(cond->started.isValid() && cond->started < cond->ended);
            const QList<double> stored{cond->voltageAdjust, cond->currentAdjust,
                                       cond->voltageControl, cond->currentControl};
            for (int i = 0; i < 4; ++i)
                QCOMPARE(stored[i], c == 2 ? factors[i].toDouble() : 1.0);
        }
        QCOMPARE(box(channel(r, 1), "Text13"), QString::fromUtf8("合格"));   // floor 0.02 mA
        QCOMPARE(box(channel(r, 2), "Text13"), QString::fromUtf8("不合格")); // limit 0.001
        q7rk::testing::records::keepFolder(workdir, "leak");
    }

    // Channel 1 sparks three times; channel 2 never does, holds at its set voltage and ends
    // after the flash delay as 未闪火, judged by its set voltage. Both are stored.
    void electrolyteTestRecordsThreeSparksOrNone() {
        const RunResult r = runSaved({"--spark", "1:60,80,100", "--spark", "2:none"}, "djy",
                                     {{"option5(0)", "False"},
                                      {"option7(0)", "True"},
                                      {"option8(0)", "False"}, // not linked: own set values
                                      {"option9(0)", "True"},
                                      {"djysddy(0)", "200"},
                                      {"djyshys(0)", "60"},
                                      {"djyckdy(0)", "50"},
                                      {"djyshxz(0)", "3.1"},
                                      {"DJYcsbh(0)", "E 'x' or 1=1 --"},
                                      {"djysddy(1)", "120"},
                                      {"djyshys(1)", "20"},
                                      {"djyckdy(1)", "100"},
                                      {"DJYcsbh(1)", "N"}},
                                     "1-2");
        QVERIFY2(r.exitCode == 0 && r.json.value("saved").toBool(), qPrintable(r.stderrText));
        const QJsonObject none = channel(r, 2);
        const QList<double> held = volts(none);
        // The last 21 samples (20 s) within 1 % of 120 V, the one before them not.
        QVERIFY(held.size() > 21 && held[held.size() - 22] < 118.8);
        for (qsizetype i = held.size() - 21; i < held.size(); ++i)
            QVERIFY2(held[i] >= 118.8, qPrintable(QString::number(held[i])));
        QCOMPARE(box(none, "Text27"), QString::fromUtf8("未闪火"));
        QCOMPARE(box(none, "Text23"), QString::fromUtf8("合格")); // 120 V set, 100 V reference
        QCOMPARE(number(none, "Text30"), 0.0);
        checkStored(m_dir.filePath("djy"), q7rk::TestKind::Electrolyte, none,
                    {{"火花时间1", "Text30"}, {"设定电压", "Text18"}});
        const auto stored = q7rk::ResultStore(m_dir.filePath("djy"))
                                .load(q7rk::TestKind::Electrolyte,
                                      q7rk::TestKey{none.value("testNumber").toString()});
        QVERIFY(stored);
        QCOMPARE(stored->value(QString::fromUtf8("判定结果")), QString::fromUtf8("合格"));

        const QJsonObject ch = channel(r, 1);
        QCOMPARE(ch.value("kind").toString(), QString("electrolyte"));
        const QList<double> v = volts(ch);
        const int first = int(number(ch, "Text30"));
        QVERIFY(first > 2);
        QVERIFY(number(ch, "Text32") > first && number(ch, "Text34") > number(ch, "Text32"));
        // Each spark is a fall of more than 3.1 V from the second before.
        for (const char* t : {"Text30", "Text32", "Text34"}) {
            const int n = int(number(ch, t));
            QVERIFY(v[n - 2] - v[n - 1] > 3.1);
        }
        QCOMPARE(number(ch, "Text29"), v[first - 1]);
        QCOMPARE(v.size(), first + 60); // ends at first spark + flash delay
        // The model sparks at 60 V and falls by 30 V; the sample after the fall (about 30 V) is
        // the first spark voltage, under the 50 V reference.
        QVERIFY(number(ch, "Text29") < 40);
        QCOMPARE(box(ch, "Text23"), QString::fromUtf8("不合格"));
        // The second before each fall is kept beside the spark voltage.
        QCOMPARE(number(ch, "BeforeSpark1"), v[first - 2]);
        QCOMPARE(number(ch, "BeforeSpark3"), v[int(number(ch, "Text34")) - 2]);
        checkStored(m_dir.filePath("djy"), q7rk::TestKind::Electrolyte, ch,
                    {{"火花电压1", "Text29"},
                     {"闪火前电压1", "BeforeSpark1"},
                     {"闪火前电压2", "BeforeSpark2"},
                     {"最大电压", "Text22"}});
        q7rk::testing::records::keepFolder(m_dir.filePath("djy"), "djy");
    }

    // A field run with lost and broken replies, recorded by --trace, plays again on a desk:
    // the replayed run shows and stores the same curves and verdicts and loses as many
    // replies. The recorded run's log tells each lost and rejected reply, how the run ended
    // and why its save failed (its result file is no database).
    void aRecordedLinkReplaysTheSameRun() {
        SimulatorProcess field;
        QVERIFY2(field.start({"--time-scale", kScale, "--drop-every", "7", "--corrupt-every", "11",
                              "--noise", "50"}),
                 qPrintable(field.error()));
        const QString recorded = m_dir.filePath("recorded"), desk = m_dir.filePath("desk");
        const QString trace = m_dir.filePath("field.trace");
        QDir().mkpath(recorded);
        QDir().mkpath(desk);
        QFile broken(recorded + "/lb53A100.db");
        QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write(QByteArray(4096, 'x')) == 4096);
        broken.close();
        const RunResult first =
            runGroup(tvSettings(m_dir), QString("tcp:127.0.0.1:%1").arg(field.port()), "1-3",
                     {"--answer-save", "yes", "--workdir", recorded, "--trace", trace});
        QVERIFY2(first.exitCode == 0 && !first.json.value("saved").toBool(),
                 qPrintable(first.stderrText));
        const QJsonObject link = first.json.value("link").toObject();
        const int lost = link.value("lostReplies").toInt(),
                  rejected = link.value("rejectedFrames").toInt();
        QVERIFY(lost > 20 && rejected > 10);

        const QStringList log = logLines(recorded);
        QCOMPARE(countContaining(log, "reply lost"), lost);
        QCOMPARE(countContaining(log, " rejected: "), rejected);
        QCOMPARE(countContaining(log, "q7rk.run: run ended: "), 1);
        const QStringList saves =
            log.filter("q7rk.results: save into " + recorded + "/lb53A100.db: 0 of 3 stored - ");
        QVERIFY2(saves.size() == 1 && saves[0].contains(recorded + "/lb53A100.db") &&
                     saves[0].contains(QString::fromUtf8("不是测试结果数据库")),
                 qPrintable(log.filter("save:").join('\n')));
        // Replies that repeat are written as repeats: far less than the frames' own hex.
        const int polls = link.value("polls").toInt();
        QVERIFY2(
            QFileInfo(trace).size() < qint64(polls) * 200,
            qPrintable(QString("%1 bytes for %2 polls").arg(QFileInfo(trace).size()).arg(polls)));

        // On the desk the log cannot be written (logs is a file): the run goes on regardless,
        // with one warning that says so.
        QFile blocker(desk + "/logs");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        SimulatorProcess replay;
        QVERIFY2(replay.start({"--replay", trace}), qPrintable(replay.error()));
        const RunResult second =
            runGroup(tvSettings(m_dir), QString("tcp:127.0.0.1:%1").arg(replay.port()), "1-3",
                     {"--answer-save", "yes", "--workdir", desk});
        QVERIFY2(second.exitCode == 0 && second.json.value("saved").toBool(),
                 qPrintable(second.stderrText));
        QCOMPARE(second.stderrText.count("the log stopped, the program goes on"), 1);
        // A run counts what went wrong until its verdict: the replies of its last second
        // that came before the verdict may be one more or less on a replay.
        const QJsonObject replayed = second.json.value("link").toObject();
        QVERIFY2(std::abs(replayed.value("lostReplies").toInt() - lost) <= 1 &&
                     std::abs(replayed.value("rejectedFrames").toInt() - rejected) <= 1,
                 qPrintable(QString("lost %1 then %2, rejected %3 then %4")
                                .arg(lost)
                                .arg(replayed.value("lostReplies").toInt())
                                .arg(rejected)
                                .arg(replayed.value("rejectedFrames").toInt())));
        for (int c = 1; c <= 3; ++c) {
            const QJsonObject was = channel(first, c), now = channel(second, c);
            QCOMPARE(box(now, "Text8"), box(was, "Text8"));
            QCOMPARE(now.value("voltageSamples"), was.value("voltageSamples"));
            QCOMPARE(now.value("currentSamples"), was.value("currentSamples"));
            checkStored(desk, q7rk::TestKind::Tv, now, {{"升压时间", "Text6"}, {"TV值", "Text7"}});
        }
    }

    // The exit code tells a script how the run went.
    void exitCodesTellHowTheRunWent() {
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", kScale}), qPrintable(sim.error()));
        const QString tcp = QString("tcp:127.0.0.1:%1").arg(sim.port());
        const RunResult outOfTime = runGroup(tvSettings(m_dir), tcp, "1", {"--max-seconds", "1"});
        QCOMPARE(outOfTime.exitCode, 5);
        QVERIFY(outOfTime.json.value("sampleIndex").toInt() > 1);

        SimulatorProcess hangsUp;
        QVERIFY2(hangsUp.start({"--time-scale", kScale, "--close-after", "40"}),
                 qPrintable(hangsUp.error()));
        // Cut short by the hang-up: no result, so nothing is offered for saving or stored.
        const RunResult lost =
            runGroup(tvSettings(m_dir), QString("tcp:127.0.0.1:%1").arg(hangsUp.port()), "1",
                     {"--answer-save", "yes", "--workdir", m_dir.path()});
        QCOMPARE(lost.exitCode, 4);
        QCOMPARE(channel(lost, 1).value("state").toString(), QString::fromUtf8("测试中断"));
        QVERIFY(!lost.json.value("saved").toBool() &&
                !QFile::exists(m_dir.filePath("lb53A100.db")));

        // SIGTERM mid-run: the run is stopped and the instrument hears the end of the test
        // twice before the runner goes.
        const QString log = m_dir.filePath("terminated.log");
        SimulatorProcess logged;
        QVERIFY2(logged.start({"--time-scale", kScale, "--log", log}), qPrintable(logged.error()));
        QProcess runner;
        runner.setWorkingDirectory(ownFolder());
        runner.start(QStringLiteral(Q7RK_RUNNER_PATH),
                     {"--settings", tvSettings(m_dir), "--link",
                      QString("tcp:127.0.0.1:%1").arg(logged.port()), "--group", "1-3",
                      "--time-scale", kScale});
        QTRY_VERIFY_WITH_TIMEOUT(SimulatorProcess::loggedCodes(log).count(7) > 20, 10000);
        runner.terminate();
        QVERIFY(runner.waitForFinished(10000));
        QCOMPARE(runner.exitCode(), 6);
        QTRY_COMPARE_WITH_TIMEOUT(
            SimulatorProcess::loggedCodes(log).mid(SimulatorProcess::loggedCodes(log).size() - 2),
            (QList<int>{11, 11}), 5000);

        sim.kill();
        QCOMPARE(runGroup(tvSettings(m_dir), tcp, "1-3").exitCode, 2);
        QCOMPARE(runGroup(tvSettings(m_dir), "serial:/nonexistent/tty", "1").exitCode, 2);
    }

    // One program per working folder: a second runner or window on a folder in use is refused
    // and names the holder. A holder killed outright leaves its lock behind; the next runner
    // takes it over.
    void aWorkingFolderHasOneProgram() {
        SimulatorProcess sim;
        QVERIFY2(sim.start({}), qPrintable(sim.error())); // real time: the run outlasts the checks
        const QString workdir = m_dir.filePath("held"), lock = workdir + "/q7rk.lock";
        QProcess holder;
        holder.start(QStringLiteral(Q7RK_RUNNER_PATH),
                     {"--settings", tvSettings(m_dir), "--link",
                      QString("tcp:127.0.0.1:%1").arg(sim.port()), "--group", "1", "--workdir",
                      workdir, "--max-seconds", "60"});
        const auto lockOwner = [&lock] {
            QFile f(lock);
            return f.open(QIODevice::ReadOnly) ? f.readLine().trimmed().toLongLong() : 0;
        };
        QTRY_COMPARE_WITH_TIMEOUT(lockOwner(), holder.processId(), 10000);

        const QString held = QString::fromUtf8("工作文件夹 %1 已被另一个程序使用（进程 %2）")
                                 .arg(QDir(workdir).canonicalPath())
                                 .arg(holder.processId());
        const QString noInstrument = "serial:/nonexistent/tty";
        const RunResult second =
            runGroup(tvSettings(m_dir), noInstrument, "1", {"--workdir", workdir});
        QCOMPARE(second.exitCode, 7);
        QVERIFY2(second.stderrText.contains("q7rk-run: " + held + "\n"),
                 qPrintable(second.stderrText));
        QProcess window;
        QProcessEnvironment screenless = QProcessEnvironment::systemEnvironment();
        screenless.insert("QT_QPA_PLATFORM", "offscreen");
        window.setProcessEnvironment(screenless);
        window.start(QStringLiteral(Q7RK_WINDOW_PATH), {"--workdir", workdir});
        QVERIFY(window.waitForFinished(30000));
        QCOMPARE(window.exitCode(), 7);
        QVERIFY(QString::fromUtf8(window.readAllStandardError()).contains("q7rk: " + held + "\n"));

        holder.kill();
        QVERIFY(holder.waitForFinished(10000));
        QVERIFY(QFile::exists(lock));
        // Past the lock, the runner finds no instrument.
        QCOMPARE(runGroup(tvSettings(m_dir), noInstrument, "1", {"--workdir", workdir}).exitCode,
                 2);
        QVERIFY(!QFile::exists(lock)); // given back at its end
    }
};

QTEST_GUILESS_MAIN(RunnerTest)
#include "tst_runner.moc"
