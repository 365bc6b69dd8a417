// The quality trend of a plant of many testers: 1,020,000 pieces of 170,000 foils uploaded
// over 2026, 20 grades on 6 lines. The trend of one grade's Vt over the
// year and over June: read, charted and drawn 1200 x 800, without and then with the index
// `q7rk-plantdb check` recommends. Beside it the memory the read took, against the pieces it
// kept. PostgreSQL when Q7RK_PLANT_POSTGRES names a server (scripts/with-postgres.sh),
// otherwise, and also, the SQLite ODBC data source. Medians of five.
#include "plant/PieceTrend.h"
#include "plant/PlantConnection.h"
#include "plant/PlantSchema.h"
#include "plant/PlantSetup.h"
#include "quality/ControlChart.h"
#include "quality/TrendChartPainter.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace q7rk;

namespace {

constexpr int Foils = 170000, Rounds = 5;

// Resident set now and at its highest, in MB.
double statusMb(const char* key) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ')[0].toDouble() / 1024;
    return 0;
}

// Written by the server itself: a recursive row generator both dialects know. Foil i is
// uploaded in month 1 + 12i/Foils on day 1 + i % 28.
PlantStatus fill(PlantConnection& c) {
    const QString rows = QStringLiteral("with recursive n(i) as (select 0 union all select "
                                        "i + 1 from n where i < %1) ");
    const QString twoDigits = QStringLiteral("(case when %1 < 10 then '0' else '' end) || %1");
    const QString month = QStringLiteral("(1 + i * 12 / %1)").arg(Foils);
    const QString day = QStringLiteral("(1 + i % 28)");
    const QString date = QStringLiteral("'2026/' || ") + twoDigits.arg(month) +
                         QStringLiteral(" || '/' || ") + twoDigits.arg(day);
    const QString statements[] = {
        rows.arg(Foils - 1) +
            QStringLiteral("insert into Whole_Parameter (SerNum,Speci,VF,PLNum,ProDate,Pace,"
                           "Conner) select 'T' || i, 'S-' || (i % 20), 520, 'L' || (i % 6 + 1), ") +
            date + QStringLiteral(", 1000, 'OQC' from n"),
        rows.arg(Foils * 6 - 1) +
            QStringLiteral("insert into Part_Parameter (SerNum,NumCurve,SpecVot,Bend,Pull,Tr,Vm,"
                           "Vt) select 'T' || (i / 6), i % 6 + 1, 1.25, 7, 31, 80 + i % 11, "
                           "530 + i % 7, 514 + i % 13 from n"),
    };
    for (const QString& sql : statements)
        if (PlantStatus s = c.exec(sql); !s.ok()) return s;
    return c.exec(QStringLiteral("analyze"));
}

struct Figures {
    double readMs = 0, chartMs = 0, drawnMs = 0;
    int points = 0;
    double heapMb = 0; // the highest resident set grew by this much over the first read
};

std::optional<Figures> trend(const PlantSource& source, const PieceTrendRequest& request) {
    std::vector<double> read, chart, drawn;
    Figures f;
    for (int r = 0; r < Rounds; ++r) {
        const double before = statusMb("VmHWM:");
        QElapsedTimer clock;
        clock.start();
        PlantConnection c(source, PlantLogin::Own);
        const auto reply = readPieceTrend(c, request);
        if (!reply.ok()) {
            std::printf("read: %s\n", qPrintable(reply.status.message));
            return std::nullopt;
        }
        read.push_back(double(clock.nsecsElapsed()) / 1e6);
        std::vector<double> values;
        std::vector<TrendPoint> points;
        values.reserve(reply.value.points.size());
        points.reserve(reply.value.points.size());
        for (const PiecePoint& p : reply.value.points) {
            values.push_back(p.value);
            points.push_back(
                {p.serial, p.afterBoiling(), p.date.toString("yyyy/MM/dd"), p.value, {}, {}});
        }
        const ControlChart controlChart(std::move(values));
        (void)controlChart.capability({520.0, std::nullopt});
        chart.push_back(double(clock.nsecsElapsed()) / 1e6);
        const QImage image =
            TrendChartPainter(controlChart, points, {520.0, std::nullopt}, QStringLiteral("Vt"))
                .image(QSize(1200, 800));
        drawn.push_back(double(clock.nsecsElapsed()) / 1e6);
        f.points = int(reply.value.points.size());
        if (r == 0) f.heapMb = statusMb("VmHWM:") - before;
    }
    const auto median = [](std::vector<double> ms) {
        std::sort(ms.begin(), ms.end());
        return ms[ms.size() / 2];
    };
    f.readMs = median(read);
    f.chartMs = median(chart);
    f.drawnMs = median(drawn);
    return f;
}

void run(const char* backend, const PlantSource& source, bool postgres) {
    PlantConnection c(source, PlantLogin::Own);
    QElapsedTimer clock;
    clock.start();
    PlantStatus s = plantSchema::drop(c);
    if (s.ok())
        s = plantSchema::create(c, postgres ? plantSchema::PostgresSampleColumns
                                            : plantSchema::SqliteSampleColumns);
    if (s.ok()) s = fill(c);
    if (!s.ok()) {
        std::printf("%s set-up: %s\n", backend, qPrintable(s.message));
        return;
    }
    std::printf("\n%s: %d foils, %d pieces written in %.1f s\n", backend, Foils, Foils * 6,
                double(clock.elapsed()) / 1e3);
    const PieceTrendRequest year{PieceField::Vt,      "S-7",           {}, QDate(2026, 1, 1),
                                 QDate(2026, 12, 31), BoilingSide::Any};
    PieceTrendRequest june = year;
    june.from = QDate(2026, 6, 1);
    june.to = QDate(2026, 6, 30);
    const auto report = [](const char* label, const std::optional<Figures>& f) {
        if (!f) return;
        std::printf("  %-34s %7d points  read %8.1f ms  charted %8.1f ms  drawn %8.1f ms  "
                    "peak +%.1f MB\n",
                    label, f->points, f->readMs, f->chartMs, f->drawnMs, f->heapMb);
    };
    report("year of S-7, without the index", trend(source, year));
    report("June of S-7, without the index", trend(source, june));
    const auto check = plantSchema::check(c);
    const QJsonArray wanted = check.value[QStringLiteral("recommendedIndexes")].toArray();
    for (const QJsonValue& index : wanted)
        if (PlantStatus made = c.exec(index[QStringLiteral("create")].toString()); !made.ok())
            std::printf("index: %s\n", qPrintable(made.message));
    (void)c.exec(QStringLiteral("analyze"));
    std::printf("  with %lld recommended index(es):\n", static_cast<long long>(wanted.size()));
    report("year of S-7, with the index", trend(source, year));
    report("June of S-7, with the index", trend(source, june));
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen"); // pictures only, no window
    QGuiApplication app(argc, argv);         // fonts for the labels
    QTemporaryDir dir;
    qputenv("ODBCINI", QFile::encodeName(dir.filePath("odbc.ini")));
    const QString postgres = qEnvironmentVariable("Q7RK_PLANT_POSTGRES");
    PlantStatus s = PlantSetup::initSqlite(dir.filePath("plant.db"), "result");
    if (s.ok() && !postgres.isEmpty()) s = PlantSetup::initPostgres(postgres, "result_pg");
    if (!s.ok()) {
        std::printf("set-up failed: %s\n", qPrintable(s.message));
        return 1;
    }
    std::printf("resident at start %.1f MB\n", statusMb("VmRSS:"));
    if (!postgres.isEmpty()) run("PostgreSQL (psqlODBC)", PlantSource("result_pg"), true);
    run("SQLite ODBC", PlantSource("result"), false);
    return 0;
}
