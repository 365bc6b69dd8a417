// Time of one plant upload as the save pass runs it: a new foil's first piece (265 samples:
// rise 85 s, delay 180 s) with its whole-roll row, one transaction. On an empty plant
// database and on one holding 100,000 pieces, through an uploader that keeps its connection,
// and for comparison on a connection of its own per piece. Beside it 打开 of a foil of the
// full database: its whole-roll row, six pieces and six curves, each read by column name.
// The SQLite ODBC default beside PostgreSQL when Q7RK_PLANT_POSTGRES names a server
// (scripts/with-postgres.sh). Medians.
#include "plant/FoilRecords.h"
#include "plant/PlantConnection.h"
#include "plant/PlantInput.h"
#include "plant/PlantSchema.h"
#include "plant/PlantSetup.h"
#include "plant/PlantUploader.h"
#include "settings/SampleStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

using namespace q7rk;

namespace {

constexpr int Rounds = 50, Prefilled = 100000, FilledColumns = 265;

struct Figures {
    double ownConnection = 0, empty = 0, full = 0, open = 0, prefillSeconds = 0;
};

using Sender = std::function<PlantStatus(const PieceUpload&)>;

// One upload of a new foil, its time appended to `ms`; false on a failure.
bool timeOne(const char* tag, int round, const Sender& send, const SampleStore& samples,
             std::vector<double>& ms) {
    const QString serial = QStringLiteral("B-%1-%2").arg(QLatin1String(tag)).arg(round);
    RunPiece run{0, 1, serial, {85, 180, 203.4, 201.5}};
    for (int n = 1; n <= samples.lastSample(); ++n)
        run.volts.push_back(samples.voltage(0, n));
    const auto piece =
        makePieceUpload(run, FoilRecord{serial, "20VF", "520", "", "", "", "IQ", "L1", "2"},
                        {"1.25", "7", "31"}, QDate::currentDate());
    QElapsedTimer clock;
    clock.start();
    const PlantStatus s = send(piece.value);
    if (!s.ok()) {
        std::printf("%s: %s\n", tag, qPrintable(s.message));
        return false;
    }
    ms.push_back(double(clock.nsecsElapsed()) / 1e6);
    return true;
}

double median(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

// 100,000 pieces of 16,667 foils, written by the server itself: a recursive row generator
// both dialects know. The Curve rows fill the columns a piece of this length uses.
PlantStatus prefill(PlantConnection& c) {
    const QString rows = QStringLiteral("with recursive n(i) as (select 0 union all select "
                                        "i + 1 from n where i < %1) ");
    QString names, values;
    for (int k = 0; k < FilledColumns; ++k) {
        names += QLatin1Char(',') + c.quoted(QString::number(k));
        values += QStringLiteral(",%1 + i % 100").arg(k);
    }
    const QString statements[] = {
        rows.arg(Prefilled / 6) +
            QStringLiteral("insert into Whole_Parameter (SerNum,Speci,VF,Length,Area,Weight,"
                           "IQNum,PLNum,NodeNum,ProDate,Pace,Conner) select 'P' || i, '20VF', "
                           "520, 100, 12.25, 3, 'IQ', 'L1', 2, '2026/01/01', 1000, 'OQC' from n"),
        rows.arg(Prefilled - 1) +
            QStringLiteral("insert into Part_Parameter (SerNum,NumCurve,SpecVot,Bend,Pull,Tr,Vm,"
                           "Vt) select 'P' || (i / 6), i % 6 + 1, 1.25, 7, 31, 85, 203.4, 201.5 "
                           "from n"),
        rows.arg(Prefilled - 1) + QStringLiteral("insert into Curve (SerNum,NumCurve") + names +
            QStringLiteral(") select 'P' || (i / 6), i % 6 + 1") + values +
            QStringLiteral(" from n"),
    };
    for (const QString& sql : statements)
        if (PlantStatus s = c.exec(sql); !s.ok()) return s;
    return PlantStatus::success();
}

PlantStatus emptyTables(PlantConnection& c, bool postgres) {
    if (PlantStatus s = plantSchema::drop(c); !s.ok()) return s;
    return plantSchema::create(c, postgres ? plantSchema::PostgresSampleColumns
                                           : plantSchema::SqliteSampleColumns);
}

// `empty` and `full` are two databases of one back end. The uploads to them take turns, so
// a machine busy with other work slows both alike.
std::optional<Figures> run(const PlantSource& empty, const PlantSource& full, bool postgres,
                           const QString& queueDir, const SampleStore& samples) {
    PlantConnection e(empty, PlantLogin::Own), c(full, PlantLogin::Own);
    Figures f;
    QElapsedTimer clock;
    clock.start();
    PlantStatus ready = emptyTables(e, postgres);
    if (ready.ok()) ready = emptyTables(c, postgres);
    if (ready.ok()) ready = prefill(c);
    // Both with the statistics the server's own maintenance keeps (without them PostgreSQL
    // plans the empty tables' statements worse).
    if (ready.ok()) ready = e.exec("analyze");
    if (ready.ok()) ready = c.exec("analyze");
    if (!ready.ok()) {
        std::printf("set-up: %s\n", qPrintable(ready.message));
        return std::nullopt;
    }
    f.prefillSeconds = double(clock.elapsed()) / 1e3;
    const PieceRecords records(empty);
    const PlantUploader toEmpty(empty, queueDir + "/q-empty.db"),
        toFull(full, queueDir + "/q-full.db");
    const Sender own = [&](const PieceUpload& p) { return records.upload(p); };
    const Sender keptEmpty = [&](const PieceUpload& p) { return toEmpty.upload(p).status; };
    const Sender keptFull = [&](const PieceUpload& p) { return toFull.upload(p).status; };
    std::vector<double> ownMs, emptyMs, fullMs;
    for (int r = 0; r < Rounds + 2; ++r) // which goes first changes too
        if (!timeOne(r % 2 ? "empty" : "full", r, r % 2 ? keptEmpty : keptFull, samples,
                     r % 2 ? emptyMs : fullMs) ||
            !timeOne(r % 2 ? "full" : "empty", r, r % 2 ? keptFull : keptEmpty, samples,
                     r % 2 ? fullMs : emptyMs))
            return std::nullopt;
    // Apart: closing a connection keeps the server busy for a moment after.
    for (int r = 0; r < Rounds + 2; ++r)
        if (!timeOne("own", r, own, samples, ownMs)) return std::nullopt;
    // Opening, as the page does: a connection of its own, every row read by name.
    std::vector<double> openMs;
    const FoilRecords foils(full);
    for (int r = 0; r < Rounds + 2; ++r) {
        QElapsedTimer openClock;
        openClock.start();
        const auto opened = foils.open(QStringLiteral("P%1").arg(r * 97));
        if (!opened.ok() || opened.value.curves.size() != 6) {
            std::printf("open: %s\n", qPrintable(opened.status.message));
            return std::nullopt;
        }
        openMs.push_back(double(openClock.nsecsElapsed()) / 1e6);
    }
    for (auto* ms : {&ownMs, &emptyMs, &fullMs, &openMs}) // the first two warm up
        ms->erase(ms->begin(), ms->begin() + 2);
    f.ownConnection = median(ownMs);
    f.empty = median(emptyMs);
    f.full = median(fullMs);
    f.open = median(openMs);
    return f;
}

void printRow(const char* label, const std::vector<std::optional<Figures>>& backends,
              double (*value)(const Figures&), const char* format) {
    std::printf("%-44s", label);
    for (const auto& f : backends) {
        if (f)
            std::printf(format, value(*f));
        else
            std::printf("%18s", "-");
    }
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("ODBCINI", QFile::encodeName(dir.filePath("odbc.ini")));
    auto samples = std::make_unique<SampleStore>();
    for (int c = 0; c < ChannelCount; ++c)
        for (int n = 0; n <= SampleStore::MaxSample; ++n)
            samples->set(c, n, float(n) * 0.77f + float(c), 0.5f);

    const QString postgres = qEnvironmentVariable("Q7RK_PLANT_POSTGRES");
    PlantStatus s = PlantSetup::initSqlite(dir.filePath("empty.db"), "result");
    if (s.ok()) s = PlantSetup::initSqlite(dir.filePath("full.db"), "result_full");
    if (s.ok() && !postgres.isEmpty()) {
        s = PlantSetup::initPostgres(postgres, "result_pg");
        PlantConnection c(PlantSource("result_pg"), PlantLogin::Own);
        if (s.ok()) s = c.exec("drop database if exists plant_full");
        if (s.ok()) s = c.exec("create database plant_full");
        if (s.ok()) s = PlantSetup::initPostgres(postgres + " dbname=plant_full", "result_pg_full");
    }
    if (!s.ok()) {
        std::printf("set-up failed: %s\n", qPrintable(s.message));
        return 1;
    }
    std::vector<std::optional<Figures>> backends{
        run(PlantSource("result"), PlantSource("result_full"), false, dir.path(), *samples)};
    if (!postgres.isEmpty())
        backends.push_back(run(PlantSource("result_pg"), PlantSource("result_pg_full"), true,
                               dir.path(), *samples));

    std::printf("\none new foil's first piece, median of %d%18s%18s\n", Rounds, "SQLite ODBC",
                postgres.isEmpty() ? "(no PostgreSQL)" : "PostgreSQL ODBC");
    printRow(
        "  connection of its own, empty (ms)", backends,
        [](const Figures& f) { return f.ownConnection; }, "%18.2f");
    printRow(
        "  kept connection, empty (ms)", backends, [](const Figures& f) { return f.empty; },
        "%18.2f");
    printRow(
        "  kept connection, 100000 pieces (ms)", backends, [](const Figures& f) { return f.full; },
        "%18.2f");
    printRow(
        "  full / empty", backends, [](const Figures& f) { return f.full / f.empty; }, "%18.2f");
    printRow(
        "  open a foil of six pieces, 100000 (ms)", backends,
        [](const Figures& f) { return f.open; }, "%18.2f");
    printRow(
        "  (prefill of 100000 pieces, s)", backends,
        [](const Figures& f) { return f.prefillSeconds; }, "%18.1f");
    return std::all_of(backends.begin(), backends.end(), [](auto& f) { return f.has_value(); }) ? 0
                                                                                                : 1;
}
