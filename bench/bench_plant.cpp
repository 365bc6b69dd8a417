// Time of the plant upload as the save pass runs it: one 265-sample piece (rise 85 s,
// delay 180 s) and a group of three, each piece on a connection of its own, in one
// transaction. Runs on the SQLite ODBC default and, when Q7RK_PLANT_POSTGRES names a
// server (scripts/with-postgres.sh), on PostgreSQL. Prints median and worst in ms.
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
#include <memory>
#include <vector>

using namespace q7rk;

namespace {

constexpr int Rounds = 30;

std::vector<PieceUpload> group(const SampleStore& samples) {
    std::vector<PieceUpload> pieces;
    for (int n = 1; n <= 3; ++n)
        pieces.push_back(makePieceUpload("B-2024", n,
                                         {"B-2024", "20VF", "520", "", "", "", "IQ", "L1", "2"},
                                         {"1.25", "7", "31"}, {"85", "180", "203.4", "201.5"},
                                         samples, n - 1, QDate::currentDate())
                             .value);
    return pieces;
}

bool measure(const char* name, const PlantUploader& uploader,
             const std::vector<PieceUpload>& pieces) {
    std::vector<double> ms;
    QElapsedTimer clock;
    for (int r = 0; r < Rounds + 2; ++r) {
        clock.start();
        for (const PieceUpload& p : pieces) {
            const UploadOutcome out = uploader.upload(p);
            if (!out.status.ok()) {
                std::printf("%s: %s\n", name, qPrintable(out.status.message));
                return false;
            }
        }
        if (r >= 2) ms.push_back(double(clock.nsecsElapsed()) / 1e6); // two to warm up
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-34s median %7.1f ms   worst %7.1f ms   (%d rounds)\n", name, ms[ms.size() / 2],
                ms.back(), Rounds);
    return true;
}

bool run(const char* backend, const PlantSource& source, const QString& queue,
         const SampleStore& samples) {
    const std::vector<PieceUpload> pieces = group(samples);
    const PlantUploader uploader(source, queue);
    const QByteArray one = QByteArray(backend) + ", one piece";
    const QByteArray three = QByteArray(backend) + ", group of three";
    return measure(one.constData(), uploader, {pieces[0]}) &&
           measure(three.constData(), uploader, pieces);
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
    PlantStatus s = PlantSetup::initSqlite(dir.filePath("plant.db"), "result");
    if (s.ok() && !postgres.isEmpty()) s = PlantSetup::initPostgres(postgres, "result_pg");
    if (!s.ok()) {
        std::printf("set-up failed: %s\n", qPrintable(s.message));
        return 1;
    }
    bool ok = run("SQLite ODBC", PlantSource("result"), dir.filePath("q1.db"), *samples);
    if (postgres.isEmpty())
        std::printf("PostgreSQL: skipped (run under scripts/with-postgres.sh)\n");
    else
        ok =
            run("PostgreSQL ODBC", PlantSource("result_pg"), dir.filePath("q2.db"), *samples) && ok;
    return ok ? 0 : 1;
}
