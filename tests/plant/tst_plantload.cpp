// Eight stations upload the same foils at the same moments to the PostgreSQL server, each
// through an uploader with its queue file, while the server restarts between two pieces and
// later stops for a while mid-upload. Each piece is told stored or queued, the queues empty
// on retry, and every key holds one row, of the last complete upload.
#include "PlantServer.h"
#include "plant/FoilRecords.h"
#include "plant/PlantUploader.h"

#include <QtTest>
#include <algorithm>
#include <array>
#include <atomic>
#include <barrier>
#include <thread>

using namespace q7rk;

namespace {

constexpr int Stations = 8, Foils = 20, Pieces = 6; // a pair of stations sends each foil
constexpr int Pairs = Stations / 2, Steps = Foils / Pairs * Pieces, Saves = 5;
constexpr int RestartStep = 3; // the server restarts just before

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

int foilOf(int station, int step) {
    return station / 2 + step / Pieces * Pairs;
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
        QTemporaryDir queues;
        std::array<QStringList, Stations> problems;
        std::array<std::array<bool, Steps>, Stations> queued{};
        std::array<std::atomic<int>, Pairs * Saves> inserted{};
        std::atomic<int> sent = 0;
        bool restarted = true;
        int phase = 0;
        std::barrier sync(Stations, [&]() noexcept {
            if (++phase == Saves + RestartStep + 1)
                restarted = m_server.takeAway(true) && m_server.takeAway(false);
        });
        const auto station = [&](int s) {
            const PlantUploader uploader(m_server.source, queues.filePath(QString::number(s)));
            for (int round = 0; round < Saves; ++round) { // the pair saves a new serial at once
                sync.arrive_and_wait();
                const int race = s / 2 * Saves + round;
                const auto saved = FoilRecords(m_server.source)
                                       .save(uploadOf(s, Foils + race, 1).foil, QDate(2026, 1, 1));
                if (!saved.ok()) problems[std::size_t(s)] << saved.status.message;
                inserted[std::size_t(race)] += saved.value;
            }
            for (int step = 0; step < Steps; ++step) {
                sync.arrive_and_wait(); // both of the pair start the piece together
                const UploadOutcome out =
                    uploader.upload(uploadOf(s, foilOf(s, step), step % Pieces + 1));
                if (!out.status.ok() && !out.queued) problems[std::size_t(s)] << out.status.message;
                queued[std::size_t(s)][std::size_t(step)] = out.queued;
                ++sent;
                sent.notify_all();
            }
        };
        {
            std::vector<std::jthread> threads;
            for (int s = 0; s < Stations; ++s)
                threads.emplace_back(station, s);
            // The server goes in the middle of uploads and stays away for a third of them.
            for (const bool away : {true, false}) {
                for (int n = sent; n < Stations * Steps * (away ? 1 : 2) / 3; n = sent)
                    sent.wait(n);
                QVERIFY(m_server.takeAway(away));
            }
        }
        for (const QStringList& p : problems)
            QVERIFY2(p.isEmpty(), qPrintable(p.join('\n')));
        QVERIFY(restarted);
        int waiting = 0; // and what was told stored is there
        for (int s = 0; s < Stations; ++s)
            for (int step = 0; step < Steps; ++step) {
                waiting += queued[std::size_t(s)][std::size_t(step)];
                if (!queued[std::size_t(s)][std::size_t(step)])
                    QCOMPARE(m_server.count(
                                 "select count(*) from Part_Parameter where SerNum=? "
                                 "and NumCurve=?",
                                 {QStringLiteral("LD%1").arg(foilOf(s, step)), step % Pieces + 1}),
                             1);
            }
        QVERIFY(waiting > 0);
        for (int s = 0; s < Stations; ++s)
            QVERIFY(!queued[std::size_t(s)][RestartStep]); // sent again on a new connection

        for (int s = 0; s < Stations; ++s) { // in turn: the later station's retry stays
            const RetryReport r =
                PlantUploader(m_server.source, queues.filePath(QString::number(s))).retry();
            QVERIFY2(r.left == 0 && r.status.ok(), qPrintable(r.status.message));
        }
        // The last of the pair that queued one of the pieces sent them last.
        const auto lastQueued = [&](int foil, std::initializer_list<int> pieces) {
            int last = -1;
            for (int s : {foil % Pairs * 2, foil % Pairs * 2 + 1})
                for (int piece : pieces)
                    if (queued[std::size_t(s)][std::size_t(foil / Pairs * Pieces + piece - 1)])
                        last = s;
            return last;
        };
        for (const auto& n : inserted)
            QCOMPARE(int(n), 1);
        QCOMPARE(m_server.count("select count(*) from Whole_Parameter"), Foils + Pairs * Saves);
        for (int foil = 0; foil < Foils; ++foil) {
            const OpenedFoil opened =
                FoilRecords(m_server.source).open(QStringLiteral("LD%1").arg(foil)).value;
            const int owner = opened.foil->grade.mid(1).toInt() - 1; // S1..S8
            QCOMPARE(*opened.foil, uploadOf(owner, foil, 1).foil);
            if (const int last = lastQueued(foil, {1, 4}); last >= 0) QCOMPARE(owner, last);
            QCOMPARE(int(opened.pieces.size()), Pieces);
            QCOMPARE(int(opened.curves.size()), Pieces);
            for (const LoadedPiece& p : opened.pieces) {
                const int sender = p.riseTimeWhole - 1; // the Tr it sent, of this foil's pair
                QCOMPARE(sender / 2, foil % Pairs);
                if (const int last = lastQueued(foil, {p.curveNumber}); last >= 0)
                    QCOMPARE(sender, last);
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
