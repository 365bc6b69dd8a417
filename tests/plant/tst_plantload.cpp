// Eight stations upload the same foils at the same moments to the PostgreSQL server: each is
// told every piece is stored, and every key holds one row, from one complete upload.
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

constexpr int Stations = 8, Foils = 20, Pieces = 6; // a pair of stations sends each foil

// A station's own values and curve length: a row of the other upload, or a mix, shows.
PieceUpload uploadOf(int station, int foil, int piece) {
    const QString serial = QStringLiteral("LD%1").arg(foil), mark = QString::number(station + 1);
    std::vector<float> curve(std::size_t(30 + station * 7 + piece), 0.0f);
    for (std::size_t k = 1; k < curve.size(); ++k)
        curve[k] = float(station * 1000 + piece * 100) + float(k) * 0.5f;
    const FoilRecord record{serial, "S" + mark, "520.5", "", "12.25", mark, "iq-7", "L2", "3"};
    return {serial, piece, record, {"1.25", "", "31"}, mark, "203.4", "201.5", QDate(2026, 1, 2),
            curve};
}

} // namespace

class PlantLoadTest : public QObject {
    Q_OBJECT

    PlantServer m_server;

private slots:
    void pairsOfStationsSendingTheSameFoilStoreEachPieceOnce() {
        QVERIFY(m_server.home.isValid() && m_server.registerSources().isEmpty());
        if (!m_server.choose(true))
            QSKIP("no PostgreSQL server (run under scripts/with-postgres.sh)");
        QVERIFY(m_server.prepare());

        std::array<QStringList, Stations> problems;
        std::barrier sync(Stations);
        const auto station = [&](int s) {
            // Each upload opens its own connection, in this thread.
            const PieceRecords records(m_server.source);
            for (int foil = s / 2; foil < Foils; foil += Stations / 2)
                for (int piece = 1; piece <= Pieces; ++piece) {
                    sync.arrive_and_wait(); // both of the pair start the piece together
                    const PlantStatus sent = records.upload(uploadOf(s, foil, piece));
                    if (!sent.ok()) problems[std::size_t(s)] << sent.message;
                }
        };
        {
            std::vector<std::jthread> threads;
            for (int s = 0; s < Stations; ++s)
                threads.emplace_back(station, s);
        }
        for (const QStringList& p : problems)
            QVERIFY2(p.isEmpty(), qPrintable(p.join('\n')));

        QCOMPARE(m_server.count("select count(*) from Whole_Parameter"), Foils);
        for (int foil = 0; foil < Foils; ++foil) {
            const OpenedFoil opened =
                FoilRecords(m_server.source).open(QStringLiteral("LD%1").arg(foil)).value;
            const int owner = opened.foil->grade.mid(1).toInt() - 1; // S1..S8
            QCOMPARE(*opened.foil, uploadOf(owner, foil, 1).foil);
            QCOMPARE(int(opened.pieces.size()), Pieces);
            QCOMPARE(int(opened.curves.size()), Pieces);
            for (const LoadedPiece& p : opened.pieces) {
                const int sender = p.riseTimeWhole - 1; // the Tr it sent, of this foil's pair
                QCOMPARE(sender / 2, foil % (Stations / 2));
                const auto curve =
                    std::find_if(opened.curves.begin(), opened.curves.end(),
                                 [&p](auto& c) { return c.curveNumber == p.curveNumber; });
                QCOMPARE(curve->values, uploadOf(sender, foil, p.curveNumber).curve); // same upload
            }
        }
    }
};

QTEST_GUILESS_MAIN(PlantLoadTest)
#include "tst_plantload.moc"
