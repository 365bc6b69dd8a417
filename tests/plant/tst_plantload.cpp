// Eight stations sending the same foils at the same moments to one plant database (the
// SQLite file, and the PostgreSQL server under scripts/with-postgres.sh): each station is
// told its pieces are stored, and every key ends with exactly one row, holding what one
// complete upload sent.
#include "PlantServer.h"
#include "plant/FoilRecords.h"
#include "plant/PieceRecords.h"

#include <QtTest>
#include <algorithm>
#include <array>
#include <barrier>
#include <thread>

using namespace q7rk;

namespace {

constexpr int Stations = 8; // in pairs: both of a pair send the same piece at the same moment
constexpr int Foils = 20;
constexpr int Pieces = 6;

QString serialOf(int foil) {
    return QStringLiteral("LD%1").arg(foil, 2, 10, QLatin1Char('0'));
}

// Every station sends values of its own, and a curve of its own length, so that a row left
// by the other station of the pair, or one mixing two uploads, shows.
std::vector<float> curveOf(int station, int piece) {
    std::vector<float> curve(std::size_t(30 + station * 7 + piece), 0.0f);
    for (std::size_t k = 1; k < curve.size(); ++k)
        curve[k] = float(station * 1000 + piece * 100) + float(k) * 0.5f;
    return curve;
}

PieceUpload uploadOf(int station, int foil, int piece) {
    PieceUpload up;
    up.serial = serialOf(foil);
    up.curveNumber = piece;
    up.foil = {up.serial, QStringLiteral("S%1").arg(station), "520.5", "",
               "12.25",   QString::number(station + 1),       "iq-7",  "L2",
               "3"};
    up.cells = {"1.25", "", "31"};
    up.riseTime = QString::number(station + 1);
    up.maxVoltage = "203.4";
    up.tvValue = QString::number(200 + foil);
    up.date = QDate(2026, 1, 2);
    up.curve = curveOf(station, piece);
    return up;
}

} // namespace

class PlantLoadTest : public QObject {
    Q_OBJECT

    PlantServer m_server;

private slots:
    void initTestCase_data() {
        QTest::addColumn<bool>("postgres");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgres") << true;
    }

    void initTestCase() {
        QVERIFY(m_server.home.isValid());
        const QString problem = m_server.registerSources();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void init() {
        QFETCH_GLOBAL(bool, postgres);
        if (!m_server.choose(postgres))
            QSKIP("no PostgreSQL server (run under scripts/with-postgres.sh)");
        QVERIFY(m_server.prepare());
    }

    void stationsSendingTheSameFoilsStoreEachPieceOnce() {
        std::array<QStringList, Stations> problems;
        std::barrier sync(Stations);
        const auto station = [&](int s) {
            // Connections belong to the thread that opens them: each upload opens its own.
            const PieceRecords records(m_server.source);
            for (int foil = s / 2; foil < Foils; foil += Stations / 2)
                for (int piece = 1; piece <= Pieces; ++piece) {
                    sync.arrive_and_wait();
                    const PlantStatus sent = records.upload(uploadOf(s, foil, piece));
                    if (!sent.ok())
                        problems[std::size_t(s)] << QStringLiteral("station %1, %2 piece %3: %4")
                                                        .arg(s)
                                                        .arg(serialOf(foil))
                                                        .arg(piece)
                                                        .arg(sent.message);
                }
        };
        std::vector<std::jthread> threads;
        for (int s = 0; s < Stations; ++s)
            threads.emplace_back(station, s);
        threads.clear(); // joins
        for (const QStringList& p : problems)
            QVERIFY2(p.isEmpty(), qPrintable(p.join('\n')));

        QCOMPARE(m_server.count("select count(*) from Whole_Parameter"), Foils);
        for (const char* table : {"Part_Parameter", "Curve"})
            QCOMPARE(m_server.count(QString("select count(*) from %1").arg(table)), Foils * Pieces);
        for (int foil = 0; foil < Foils; ++foil) {
            const auto opened = FoilRecords(m_server.source).open(serialOf(foil));
            QVERIFY2(opened.ok() && opened.value.foil, qPrintable(opened.status.message));
            const int owner = opened.value.foil->grade.mid(1).toInt();
            QCOMPARE(owner / 2, foil % (Stations / 2)); // one of the pair that sent it
            QCOMPARE(*opened.value.foil, uploadOf(owner, foil, 1).foil);
            QCOMPARE(int(opened.value.pieces.size()), Pieces);
            QCOMPARE(int(opened.value.curves.size()), Pieces);
            for (const LoadedPiece& p : opened.value.pieces) {
                const int sender = p.riseTimeWhole - 1;
                QCOMPARE(sender / 2, foil % (Stations / 2));
                QCOMPARE(p.cells[5], QString("%1.00").arg(200 + foil));
                const auto curve = std::find_if(
                    opened.value.curves.begin(), opened.value.curves.end(),
                    [&](const StoredCurve& c) { return c.curveNumber == p.curveNumber; });
                QVERIFY(curve != opened.value.curves.end());
                QCOMPARE(curve->values, curveOf(sender, p.curveNumber)); // the same upload's
            }
        }
    }
};

QTEST_GUILESS_MAIN(PlantLoadTest)
#include "tst_plantload.moc"
