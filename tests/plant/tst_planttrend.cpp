#include "PlantServer.h"
#include "plant/PieceTrend.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

using namespace q7rk;

namespace {

struct Foil {
    const char* serial;
    const char* spec;
    const char* line;
    const char* date;
    double vf;
    // Vt and Tr of pieces 1..6; a piece not uploaded has Vt 0.
    double vt[6];
    double tr[6];
};

// Three foils of S-9 in January: one with all six pieces, one never boiled, one of which two
// pieces were cut before and after boiling (its 2' without Tr). Beside them a foil of S-7 and
// one of February.
const Foil kFoils[] = {
    {"F1",
     "S-9",
     "L1",
     "2026/01/05",
     200,
     {200, 202, 204, 190, 193, 195},
     {80, 82, 84, 90, 91, 95}},
    {"F2", "S-9", "L1", "2026/01/06", 200, {201, 203, 205, 0, 0, 0}, {81, 83, 85, 0, 0, 0}},
    {"F3", "S-9", "L2", "2026/01/07", 250, {250, 255, 0, 240, 244, 0}, {70, 72, 0, 75, -1, 0}},
    {"F4", "S-7", "L1", "2026/01/06", 200, {210, 210, 210, 0, 0, 0}, {60, 60, 60, 0, 0, 0}},
    {"F5", "S-9", "L1", "2026/02/01", 200, {199, 199, 199, 0, 0, 0}, {88, 88, 88, 0, 0, 0}},
};

QStringList serialsOf(const PieceTrend& trend) {
    QStringList out;
    for (const PiecePoint& p : trend.points)
        if (!out.contains(p.serial)) out << p.serial;
    return out;
}

std::vector<double> valuesOf(const PieceTrend& trend) {
    std::vector<double> out;
    for (const PiecePoint& p : trend.points)
        out.push_back(p.value);
    return out;
}

} // namespace

class PlantTrendTest : public QObject {
    Q_OBJECT

    PlantServer m_server;

    PieceTrend read(PieceTrendRequest request) {
        PlantConnection c(m_server.source, PlantLogin::Own);
        const auto reply = readPieceTrend(c, request);
        if (!reply.ok()) qWarning() << reply.status.message;
        return reply.value;
    }

    static PieceTrendRequest january(PieceField field, const char* line = "") {
        return {field, "S-9", line, QDate(2026, 1, 1), QDate(2026, 1, 31), BoilingSide::Any};
    }

private slots:
    void initTestCase_data() { PlantServer::backendRows(); }

    void initTestCase() {
        QVERIFY(m_server.home.isValid());
        const QString problem = m_server.registerSources();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void init() {
        QFETCH_GLOBAL(bool, postgres);
        if (!m_server.choose(postgres)) QSKIP(PlantServer::NoServer);
        QVERIFY(m_server.prepare(4));
        PlantConnection c(m_server.source, PlantLogin::Own);
        QVERIFY(c.begin().ok());
        for (const Foil& f : kFoils) {
            QVERIFY(c.exec("insert into Whole_Parameter (SerNum, Speci, VF, PLNum, ProDate) "
                           "values (?, ?, ?, ?, ?)",
                           {f.serial, f.spec, f.vf, f.line, f.date})
                        .ok());
            for (int i = 0; i < 6; ++i) {
                if (f.vt[i] == 0) continue;
                const QVariant tr = f.tr[i] < 0 ? nullNumber() : QVariant(f.tr[i]);
                QVERIFY(c.exec("insert into Part_Parameter (SerNum, NumCurve, Tr, Vm, Vt) "
                               "values (?, ?, ?, ?, ?)",
                               {f.serial, i + 1, tr, f.vt[i] + 1, f.vt[i]})
                            .ok());
            }
        }
        QVERIFY(c.commit().ok());
    }

    // Grade, line and dates choose exactly their foils; the foil's pieces come in
    // order and form its subgroups, before and after boiling apart, the short ones kept.
    void filtersAndSubgroups() {
        const PieceTrend all = read(january(PieceField::Vt));
        QCOMPARE(serialsOf(all), QStringList({"F1", "F2", "F3"}));
        QCOMPARE(valuesOf(all), (std::vector<double>{200, 202, 204, 190, 193, 195, 201, 203, 205,
                                                     250, 255, 240, 244}));
        QCOMPARE(all.points[3].piece, 4);
        QCOMPARE(all.points[3].date, QDate(2026, 1, 5));
        QCOMPARE(all.points.back().line, QString("L2"));
        std::vector<int> sizes;
        for (const FoilSubgroup& g : foilSubgroups(all.points))
            sizes.push_back(g.count);
        QCOMPARE(sizes, (std::vector<int>{3, 3, 3, 2, 2}));

        QCOMPARE(serialsOf(read(january(PieceField::Vt, "L1"))), QStringList({"F1", "F2"}));
        PieceTrendRequest after = january(PieceField::Vt);
        after.boiling = BoilingSide::After;
        QCOMPARE(valuesOf(read(after)), (std::vector<double>{190, 193, 195, 240, 244}));
        PieceTrendRequest second = january(PieceField::Vt);
        second.piece = 2;
        QCOMPARE(valuesOf(read(second)), (std::vector<double>{202, 193, 203, 255, 244}));
        PieceTrendRequest open = january(PieceField::Vt);
        open.spec.clear();
        open.to = QDate();
        QCOMPARE(serialsOf(read(open)), QStringList({"F1", "F2", "F4", "F3", "F5"}));
    }

    // What boiling changed, piece by piece: a piece without its n' (or without a value) is
    // counted, not charted. The ratio is the piece's Vt over its foil's VF.
    void derivedValues() {
        const PieceTrend dvt = read(january(PieceField::DeltaVt));
        QCOMPARE(valuesOf(dvt), (std::vector<double>{-10, -9, -9, -10, -11}));
        QCOMPARE(dvt.withoutValue, 3); // F2 was never boiled
        QCOMPARE(dvt.points[3].piece, 1);
        const PieceTrend dtr = read(january(PieceField::DeltaTr));
        QCOMPARE(valuesOf(dtr), (std::vector<double>{10, 9, 11, 5}));
        QCOMPARE(dtr.withoutValue, 4); // and F3's 2' has no Tr

        const PieceTrend ratio = read(january(PieceField::TvRatio, "L2"));
        QCOMPARE(valuesOf(ratio), (std::vector<double>{1.0, 1.02, 0.96, 0.976}));
    }

    // The command line charts the same pieces: points with serial, piece and date, the
    // chart's lines and rules; a value it does not know is refused with the list.
    void trendCommand() {
        const auto run = [this](const QStringList& args, int& exit) {
            QProcess p;
            p.start(Q7RK_PLANTDB_PATH,
                    QStringList{"trend", "--dsn", m_server.source.dataSource()} + args);
            if (!p.waitForFinished(30000)) return QJsonObject();
            exit = p.exitCode();
            if (exit != 0)
                qWarning("q7rk-plantdb exit %d: %s", exit, p.readAllStandardError().constData());
            return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
        };
        int exit = -1;
        const QJsonObject doc = run({"--spec", "S-9", "--field", "dvt", "--from", "2026/01/01",
                                     "--to", "2026-01-31", "--line", "L1"},
                                    exit);
        QCOMPARE(exit, 0);
        QCOMPARE(doc["count"].toInt(), 3);
        QCOMPARE(doc["withoutValue"].toInt(), 3);
        const QJsonArray points = doc["points"].toArray();
        QCOMPARE(points[1].toObject()["serial"].toString(), QString("F1"));
        QCOMPARE(points[1].toObject()["piece"].toInt(), 2);
        QCOMPARE(points[1].toObject()["value"].toDouble(), -9.0);
        QCOMPARE(doc["mean"].toDouble(), -28.0 / 3);
        QVERIFY(doc["capability"].toObject()["message"].toString().contains("--lsl"));
        run({"--spec", "S-9", "--field", "x"}, exit);
        QCOMPARE(exit, 2);

        // Each foil's pieces on one side of boiling as a subgroup of three; F3's pairs are
        // counted as incomplete. By hand: averages 202, 192.67, 203, ranges 4, 5, 4, so
        // X̄̄ = 1793/9 and R̄ = 13/3, UCL = X̄̄ + 1.023 R̄ (A2 for n = 3 from the published
        // table of control chart constants, e.g. Montgomery, Introduction to Statistical
        // Quality Control, Appendix VI). The baseline of 5 January holds F1: its six pieces,
        // its two subgroups; against X̄̄ = 197.33 and R̄ = 4.5 (UCL 201.94, LCL 192.73) F1
        // before (202) and after boiling (192.67) and F2 (203) are all beyond a limit.
        const QJsonObject foils = run(
            {"--spec", "S-9", "--field", "vt", "--from", "2026/01/01", "--to", "2026/01/31",
             "--subgroup", "foil", "--baseline-from", "2026/01/05", "--baseline-to", "2026/01/05"},
            exit);
        QCOMPARE(exit, 0);
        QCOMPARE(foils["baseline"].toObject()["count"].toInt(), 6);
        // The first six points are the same baseline.
        const QJsonObject firstSix = run({"--spec", "S-9", "--field", "vt", "--from", "2026/01/01",
                                          "--to", "2026/01/31", "--baseline-first", "6"},
                                         exit);
        QCOMPARE(firstSix["mean"].toDouble(), foils["mean"].toDouble());
        const QJsonObject all = run({"--spec", "S-9", "--field", "vt", "--from", "2026/01/01",
                                     "--to", "2026/01/31", "--subgroup", "foil"},
                                    exit);
        const QJsonObject groups = all["subgroups"].toObject();
        QCOMPARE(groups["nominalSize"].toInt(), 3);
        QCOMPARE(groups["incomplete"].toArray(), (QJsonArray{3, 4}));
        QCOMPARE(groups["grandMean"].toDouble(), 1793.0 / 9);
        QCOMPARE(groups["averageRange"].toDouble(), 13.0 / 3);
        QCOMPARE(groups["upperLimit"].toDouble(), 1793.0 / 9 + 1.023 * 13 / 3);
        QCOMPARE(groups["groups"].toArray()[1].toObject()["afterBoiling"].toBool(), true);
        const QJsonObject baseGroups = foils["subgroups"].toObject();
        QCOMPARE(baseGroups["grandMean"].toDouble(), (202 + 578.0 / 3) / 2);
        const QJsonObject beyond = baseGroups["violations"].toArray()[0].toObject();
        QCOMPARE(beyond["rule"].toString(), QString("beyondLimit"));
        QCOMPARE(beyond["points"].toArray(), (QJsonArray{0, 1, 2}));
    }

    // A long read stops when told, with the reason.
    void cancelled() {
        PlantConnection c(m_server.source, PlantLogin::Own);
        QVERIFY(c.begin().ok());
        for (int i = 0; i < 5000; ++i)
            QVERIFY(c.exec("insert into Part_Parameter (SerNum, NumCurve, Vt) values (?, ?, ?)",
                           {"F1", 10 + i, 200.0})
                        .ok());
        QVERIFY(c.commit().ok());
        int heard = 0;
        const auto reply = readPieceTrend(c, january(PieceField::Vt), [&heard](int rows) {
            heard = rows;
            return false;
        });
        QCOMPARE(reply.status.fault, PlantFault::Cancelled);
        QVERIFY(heard > 0 && heard < 5013);
    }
};

QTEST_GUILESS_MAIN(PlantTrendTest)
#include "tst_planttrend.moc"
