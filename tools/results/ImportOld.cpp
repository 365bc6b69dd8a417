#include "ImportOld.h"

#include "import/OldResultImport.h"
#include "results/ResultStore.h"
#include "settings/WorkingFolder.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <atomic>
#include <csignal>
#include <cstdio>

namespace q7rk {

namespace {

std::atomic<bool> g_cancel{false};

void cancelImport(int) {
    g_cancel.store(true);
}

void printJson(const QJsonObject& o) {
    std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
}

} // namespace

int runInspectOld(const QCommandLineParser& p, const QString& path) {
    QString error;
    const auto report = oldfiles::inspectOldFile(path, p.value("jet3-charset"), &error);
    if (!report) {
        std::fprintf(stderr, "q7rk-results: %s: %s\n", qPrintable(path), qPrintable(error));
        return 1;
    }
    printJson(*report);
    return 0;
}

int runImportOld(const QCommandLineParser& p, const QStringList& paths) {
    const QString folder = workingFolder::forThisProgram(p.value("workdir"));
    const bool dryRun = p.isSet("dry-run");
    if (!dryRun && !QDir().mkpath(folder)) {
        std::fprintf(stderr, "q7rk-results: cannot make %s\n", qPrintable(folder));
        return 1;
    }
    ResultStore store(folder);
    oldfiles::ImportOptions options;
    options.dryRun = dryRun;
    options.jet3Encoding = p.value("jet3-charset");
    if (p.isSet("batch")) options.batchSize = std::max(1, p.value("batch").toInt());
    oldfiles::OldResultImport import(store, options);
    // A cancel (the window's, or Ctrl+C) ends the batch being written first.
    std::signal(SIGTERM, cancelImport);
    std::signal(SIGINT, cancelImport);
    if (!import.prepare(paths)) {
        std::fprintf(stderr, "q7rk-results: cannot make a temporary folder\n");
        return 1;
    }
    const bool progress = p.isSet("progress");
    const qint64 steps = import.steps();
    int shownPercent = -1;
    const auto reports = import.run(
        [&](qint64 done) {
            // A line per whole percent is enough for a bar, and does not flood the window.
            const int percent = steps > 0 ? int(done * 100 / steps) : 100;
            if (!progress || percent == shownPercent) return;
            shownPercent = percent;
            std::fprintf(stderr, "progress %lld %lld\n", static_cast<long long>(done),
                         static_cast<long long>(steps));
            std::fflush(stderr);
        },
        &g_cancel);
    QJsonArray files;
    int imported = 0;
    bool failed = import.cancelled();
    for (const auto& r : reports) {
        files.append(r.toJson());
        imported += r.imported;
        if (!r.error.isEmpty()) {
            failed = true;
            std::fprintf(stderr, "q7rk-results: %s: %s\n", qPrintable(r.file), qPrintable(r.error));
        }
    }
    printJson({{"dryRun", dryRun},
               {"cancelled", import.cancelled()},
               {"imported", imported},
               {"workdir", folder},
               {"files", files}});
    return failed ? 1 : 0;
}

} // namespace q7rk
