// Eight stations upload the same foils at once while the PostgreSQL server restarts, later
// stays away: each piece is told stored or queued; after the retries each key holds the last.
#include "PlantServer.h"
#include "plant/FoilRecords.h"
#include "plant/PlantUploader.h"

#include <QtTest>
#include <algorithm>
#include <barrier>
#include <thread>

using namespace q7rk;

namespace {

constexpr int Stations = 8, Foils = 20, Pieces = 6, Pairs = Stations / 2; // a pair per foil
// Phases of the lockstep, one a piece: a restart before piece 4, the server away for foil 3.
constexpr int Restart = 4, Away = 13, Back = 19;
const char* const Stored = "select count(*) from Part_Parameter where SerNum=? and NumCurve=?";

// A station's own values and curve length: a row of the other upload, or a mix, shows.
PieceUpload uploadOf(int station, int foil, int piece) {
    const QString serial = QStringLiteral("LD%1").arg(foil), mark = QString::number(station + 1);
    std::vector<float> curve(std::size_t(30 + station * 7 + piece), 0.0f);
    for (std::size_t k = 1; k < curve.size(); ++k)
        curve[k] = float(station * 1000 + piece * 100) + float(k) * 0.5f;
    const FoilRecord record{serial, "S" + mark, "520.5", "", "12.25", mark, "iq-7", "L2", "3"};
    return {serial, piece, record, {"1.25", "", "31"}, false, mark, "203.4", "201.5", QDate(2026, 1, 2),
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
            QSKIP(PlantServer::NoServer);
        QVERIFY(m_server.prepare());

        QStringList problems[Stations];
        bool queued[Stations][Foils][Pieces + 1] = {}, serverMoved = true;
        int phase = 0;
        std::barrier sync(Stations, [&]() noexcept {
            if (++phase == Restart || phase == Away) serverMoved &= m_server.takeAway(true);
            if (phase == Restart || phase == Back) serverMoved &= m_server.takeAway(false);
        });
        const auto queue = [&](int s) { return m_server.home.filePath(QString::number(s)); };
        const auto station = [&](int s) {
            const PlantUploader uploader(m_server.source, queue(s));
            for (int foil = s / 2; foil < Foils; foil += Pairs)
                for (int piece = 1; piece <= Pieces; ++piece) {
                    sync.arrive_and_wait(); // both of the pair start the piece together
                    if (foil < Pairs) {     // and save the same new whole-roll record at once
                        const FoilRecord other =
                            *uploadOf(s, Foils + foil * Pieces + piece, 1).foil;
                        const auto saved = FoilRecords(m_server.source).save(other, {});
                        if (!saved.ok()) problems[s] << saved.status.message;
                    }
                    const PieceUpload up = uploadOf(s, foil, piece);
                    const UploadOutcome out = uploader.upload(up);
                    queued[s][foil][piece] = out.queued();
                    // Told stored: it is there. Queued: only while the server is away.
                    if (out.queued()
                            ? phase < Away || phase >= Back
                            : !out.status.ok() || m_server.count(Stored, {up.serial, piece}) == 0)
                        problems[s] << QStringLiteral("%1: %2").arg(phase).arg(out.status.message);
                }
        };
        {
            std::vector<std::jthread> threads;
            for (int s = 0; s < Stations; ++s)
                threads.emplace_back(station, s);
        }
        for (const QStringList& p : problems) // (and the server did go and come back)
            QVERIFY2(p.isEmpty() && serverMoved, qPrintable(p.join('\n')));

        for (int s = 0; s < Stations; ++s) // in turn: the later station's retry stays
            QCOMPARE(PlantUploader(m_server.source, queue(s)).retry().left, 0);
        // The last of the pair that queued one of the pieces sent it last; of two sent, either.
        const auto last = [&](int foil, std::initializer_list<int> pieces, int sender) {
            for (int s : {foil % Pairs * 2, foil % Pairs * 2 + 1})
                for (int piece : pieces)
                    sender = queued[s][foil][piece] ? s : sender;
            return sender;
        };
        QCOMPARE(m_server.count("select count(*) from Whole_Parameter"), Foils + Pairs * Pieces);
        for (int foil = 0; foil < Foils; ++foil) {
            const OpenedFoil opened =
                FoilRecords(m_server.source).open(QStringLiteral("LD%1").arg(foil)).value;
            const int owner = opened.foil->grade.mid(1).toInt() - 1; // S1..S8
            QCOMPARE(opened.foil, uploadOf(owner, foil, 1).foil);
            QCOMPARE(owner, last(foil, {1, 4}, owner));
            QCOMPARE(int(opened.pieces.size()), Pieces);
            QCOMPARE(int(opened.curves.size()), Pieces);
            for (const LoadedPiece& p : opened.pieces) {
                const int sender = p.riseTimeWhole - 1; // the Tr it sent, of this foil's pair
                QCOMPARE(sender / 2, foil % Pairs);
                QCOMPARE(sender, last(foil, {p.curveNumber}, sender));
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
