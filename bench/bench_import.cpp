// Cost of importing the old program's result files: a TV file of 10,000 tests × 600 samples
// (the shared fixture, unpacked into a temporary folder) read alone through libmdb, then a dry
// run (copy, read, map), then a real import into an empty folder. Prints seconds, tests per
// second and the import's ratio to the plain read, all in one run on the same file.
// Usage: bench_import [FILE.mdb.xz | FILE.mdb]
#include "import/OldResultFile.h"
#include "import/OldResultImport.h"
#include "results/ResultStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

using namespace q7rk;

namespace {

// Every row of every table, as the import reads them.
qint64 readAll(const QString& path) {
    QString error;
    const auto file = oldfiles::OldResultFile::open(path, &error);
    if (!file) {
        std::fprintf(stderr, "bench_import: %s: %s\n", qPrintable(path), qPrintable(error));
        return -1;
    }
    qint64 rows = 0;
    for (const oldfiles::OldTable& t : file->tables())
        if (!file->readRows(
                t, [&](const QVariantList&) { ++rows; }, &error))
            return -1;
    return rows;
}

double importInto(const QString& folder, const QString& path, bool dryRun, int* imported) {
    ResultStore store(folder);
    oldfiles::OldResultImport import(store, {dryRun, {}, 1000});
    QElapsedTimer clock;
    clock.start();
    import.prepare({path});
    const auto reports = import.run({});
    *imported = reports.value(0).imported;
    return double(clock.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString source = QCoreApplication::arguments().value(
        1, QStringLiteral(Q7RK_OLD_PROGRAM_FIXTURES "/bench/old-tv-10000x600.mdb.xz"));
    QTemporaryDir dir;
    QString path = source;
    if (source.endsWith(QLatin1String(".xz"))) {
        path = dir.filePath(QStringLiteral("old.mdb"));
        QProcess xz;
        xz.setStandardOutputFile(path);
        xz.start(QStringLiteral("xz"), {QStringLiteral("-dc"), source});
        if (!xz.waitForFinished(-1) || xz.exitCode() != 0) {
            std::fprintf(stderr, "bench_import: cannot unpack %s\n", qPrintable(source));
            return 1;
        }
    }
    QElapsedTimer clock;
    clock.start();
    const qint64 rows = readAll(path);
    const double read = double(clock.nsecsElapsed()) / 1e9;
    if (rows < 0) return 1;
    int tests = 0;
    const double dry = importInto(dir.filePath(QStringLiteral("dry")), path, true, &tests);
    const QString into = dir.filePath(QStringLiteral("into"));
    QDir().mkpath(into);
    const double real = importInto(into, path, false, &tests);
    std::printf("read alone (libmdb)   %8.2f s  %lld rows\n", read, static_cast<long long>(rows));
    std::printf("dry run               %8.2f s\n", dry);
    std::printf("import                %8.2f s  %d tests  %.0f tests/s\n", real, tests,
                tests / real);
    std::printf("import / read alone   %8.2f\n", real / read);
    return tests > 0 ? 0 : 1;
}
