// q7rk-results: the local result files from the command line. `query` prints the rows of one
// search as JSON; `show` prints one stored test's row and measurement conditions as JSON;
// `export` writes a parameter table (optionally searched) or one test's curve
// as CSV; `trend` prints the control chart of one field; `demo-trend` fills the TV file with a
// month of tests that drift, for a first look at the trend window; `diagnostics` writes the
// archive for support.
#include "DemoTrend.h"
#include "ImportOld.h"
#include "Trend.h"
#include "diagnostics/DiagnosticsArchive.h"
#include "plant/PlantInput.h"
#include "quality/PictureApplication.h"
#include "results/CsvExport.h"
#include "results/ResultSchema.h"
#include "results/ResultStore.h"
#include "settings/ProgramTitle.h"
#include "settings/RegistryImport.h"
#include "settings/SettingsStore.h"
#include "settings/WorkingFolder.h"
#include "station/StoredPieceUpload.h"
#include "version/Version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <memory>

using namespace q7rk;

namespace {

enum Exit { Done = 0, Failed = 1, BadUsage = 2 };

int usage(const QString& error) {
    std::fprintf(stderr, "q7rk-results: %s (see --help)\n", qPrintable(error));
    return BadUsage;
}

QJsonArray toJson(const QStringList& list) {
    QJsonArray a;
    for (const QString& s : list)
        a.append(s);
    return a;
}

int printQuery(const QString& key, const ResultRows& rows) {
    QJsonArray jsonRows;
    for (int r = 0; r < rows.count(); ++r)
        jsonRows.append(toJson(rows.row(r)));
    QJsonObject doc{{"kind", key},
                    {"count", rows.count()},
                    {"columns", toJson(rows.header)},
                    {"rows", jsonRows}};
    if (!rows.message.isEmpty()) doc.insert("message", rows.message);
    std::fputs(QJsonDocument(doc).toJson(QJsonDocument::Indented).constData(), stdout);
    return Done;
}

// One test: its row by field name, its number of samples and the conditions it was measured
// under (null for a test saved before they were kept).
int printTest(const QString& key, const StoredTest& test) {
    QJsonObject fields;
    const QStringList names = fieldNames(test.kind);
    for (qsizetype i = 0; i < names.size(); ++i)
        fields.insert(names[i], test.values.value(i));
    QJsonValue conditions = QJsonValue::Null;
    if (test.conditions) {
        QJsonObject shown;
        for (const auto& [name, text] : shownConditions(*test.conditions))
            shown.insert(name, text);
        conditions = shown;
    }
    const QJsonObject doc{{"kind", key},
                          {"test", test.testNumber()},
                          {"fields", fields},
                          {"samples", qint64(test.curve.size())},
                          {"conditions", conditions}};
    std::fputs(QJsonDocument(doc).toJson(QJsonDocument::Indented).constData(), stdout);
    return Done;
}

int cannotWrite(const QString& path) {
    std::fprintf(stderr, "q7rk-results: cannot write %s\n", qPrintable(path));
    return Failed;
}

// The old program's settings from a regedit export; what was taken as JSON.
int runImportSettings(const QCommandLineParser& p, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "q7rk-results: %s: %s\n", qPrintable(path),
                     qPrintable(file.errorString()));
        return Failed;
    }
    const RegistryExport exported = readRegistryExport(file.readAll());
    if (!exported.error.isEmpty()) {
        std::fprintf(stderr, "q7rk-results: %s: %s\n", qPrintable(path),
                     qPrintable(exported.error));
        return Failed;
    }
    const QString app = p.isSet("app") ? p.value("app") : programTitle::shortName();
    QJsonObject report{{"file", path},
                       {"encoding", exported.encoding},
                       {"applications", QJsonArray::fromStringList(exported.applications.keys())}};
    if (!exported.applications.contains(app)) {
        // Which one to take is the operator's choice: the list says what there is.
        std::printf("%s\n", QJsonDocument(report).toJson(QJsonDocument::Compact).constData());
        std::fprintf(stderr, "q7rk-results: %s: 没有应用程序“%s”的设置，请用 --app 选择。\n",
                     qPrintable(path), qPrintable(app));
        return Failed;
    }
    SettingsStore store(p.isSet("settings") ? p.value("settings")
                                            : SettingsStore::defaultFilePath());
    const bool dryRun = p.isSet("dry-run");
    const SettingsImport done = importSettings(exported, app, store, dryRun);
    report.insert("app", app);
    report.insert("settings", store.filePath());
    report.insert("dryRun", dryRun);
    report.insert("written", done.written);
    report.insert("unknownKeys", QJsonArray::fromStringList(done.unknownKeys));
    report.insert("decimalCommas", QJsonArray::fromStringList(done.decimalCommas));
    if (!dryRun && store.lastSaveFailed()) {
        std::fprintf(stderr, "q7rk-results: %s: %s\n", qPrintable(store.filePath()),
                     qPrintable(store.errorString()));
        return Failed;
    }
    std::printf("%s\n", QJsonDocument(report).toJson(QJsonDocument::Compact).constData());
    return Done;
}

// A stored TV test into the folder's plant outbox, then sent; what became of it as JSON.
int runUpload(const QCommandLineParser& p, TestKind kind, const ResultStore& store) {
    if (kind != TestKind::Tv) return usage(QStringLiteral("upload takes --kind tv"));
    if (!p.isSet("test") || !p.isSet("serial") || !p.isSet("piece"))
        return usage(QStringLiteral("--test, --serial and --piece are required"));
    const auto piece = pieceNumberFromLabel(p.value("piece"));
    if (!piece) return usage(QStringLiteral("--piece takes 1-6, or 1'-3' after boiling"));
    const QString folder = workingFolder::forThisProgram(p.value("workdir"));
    const PlantUploader uploader(PlantSource(p.value("dsn")),
                                 QDir(folder).filePath(QString::fromLatin1(UploadQueue::FileName)));
    const auto added = putStoredTestInOutbox(store, uploader.queue(),
                                             TestKey{p.value("test"), p.isSet("after-boiling")},
                                             {p.value("serial"), *piece});
    const UploadOutcome out =
        added.ok() ? uploader.send(added.value) : UploadOutcome{added.status, {}};
    QJsonObject report{{"serial", trimBlanks(p.value("serial"))},
                       {"piece", *piece},
                       {"uploaded", out.status.ok()}};
    if (!out.status.ok()) {
        report.insert("reason", out.status.message);
        if (out.left) report.insert("outbox", outboxStateText(*out.left));
    }
    std::printf("%s\n", QJsonDocument(report).toJson(QJsonDocument::Compact).constData());
    return out.status.ok() ? Done : Failed;
}

// The archive for support, as the window's 导出诊断信息 writes it.
int runDiagnostics(const QCommandLineParser& p) {
    if (!p.isSet("out")) return usage(QStringLiteral("--out is required"));
    DiagnosticsInput input;
    input.dataFolder = workingFolder::forThisProgram(p.value("workdir"));
    input.settingsFile =
        QFileInfo(p.isSet("settings") ? p.value("settings") : SettingsStore::defaultFilePath())
            .absoluteFilePath();
    input.program = QStringLiteral("q7rk-results");
    const DiagnosticsOutcome out = writeDiagnostics(input, p.value("out"));
    if (!out.ok) {
        std::fprintf(stderr, "q7rk-results: %s\n", qPrintable(out.error));
        return Failed;
    }
    const QJsonObject report{{"file", QFileInfo(p.value("out")).absoluteFilePath()},
                             {"bytes", out.bytes},
                             {"entries", toJson(out.entries)},
                             {"notes", toJson(out.notes)}};
    std::printf("%s\n", QJsonDocument(report).toJson(QJsonDocument::Compact).constData());
    return Done;
}

} // namespace

int main(int argc, char** argv) {
    const auto app = pictureApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("q7rk-results"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(version::Number));

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "The local result files.\n"
        "  query  --kind K --field NAME --op OP --value V1 [--value2 V2]   rows as JSON\n"
        "  show   --kind K --test NUMBER   one test's row and measurement conditions as JSON\n"
        "  export --kind K [--test NUMBER | --field ... --op ... --value ...] --out FILE.csv\n"
        "  import-settings FILE.reg [--app NAME] [--dry-run] [--settings FILE]   the old "
        "program's\n"
        "         settings from a regedit export into this program's settings file\n"
        "  import-old [--dry-run] [--jet3-charset NAME] [--progress] FILE.mdb...   the old "
        "program's\n"
        "         result files (Access) into this program's; the report as JSON\n"
        "  import-old --inspect FILE.mdb   format, code page, tables, columns and row counts\n"
        "  upload --kind tv --test NUMBER --serial S --piece K   a stored TV test to the plant\n"
        "         database (through the outbox of the folder) as piece K (1-3, 1'-3' or 4-6)\n"
        "  trend  --kind K --field NAME [--from DATE --to DATE] [--where 'FIELD OP VALUE']...\n"
        "         [--png FILE]   control chart of a numeric field as JSON\n"
        "  diagnostics --out FILE.zip [--settings FILE]   one archive for support: recent logs,\n"
        "         settings and ODBC data sources without passwords, versions, result files,\n"
        "         the plant outbox, link traces\n"
        "Exit codes: 0 done, 1 no such test, a file that cannot be read or written, a piece "
        "that did not reach the plant (it waits in the outbox), an import cancelled, 2 bad "
        "usage."));
    p.addHelpOption();
    p.addVersionOption();
    p.addPositionalArgument("command",
                            "query, show, export, upload, trend, demo-trend or diagnostics");
    p.addOptions({
        {"workdir",
         "Folder holding the result files (default: the current one, or the user's data "
         "folder when installed).",
         "DIR"},
        {"kind", "tv, leakage or electrolyte.", "K"},
        {"field", "Field to search, as the table names it.", "NAME"},
        {"op", "Comparison: >, <, = or 介于.", "OP"},
        {"value", "Value, or lower bound for 介于.", "V1"},
        {"value2", "Upper bound for 介于.", "V2"},
        {"test", "show: this test; export: the curve of this test number.", "NUMBER"},
        {"after-boiling", "show, export, upload: the test of that number measured after "
                          "boiling (without it, the one before)."},
        {"serial", "upload: the foil's serial in the plant.", "S"},
        {"piece", "upload: the piece, 1-3 before boiling, 1'-3' (or 4-6) after.", "K"},
        {"dsn", "upload: the plant's ODBC data source (default result).", "NAME", "result"},
        {"app",
         "import-settings: the application whose settings are taken (default: the old "
         "program's name).",
         "NAME"},
        {"dry-run", "import-settings, import-old: write nothing, report the same."},
        {"jet3-charset",
         "import-old: the encoding of an Access 97 file's texts (default: its header's code "
         "page, then GB18030 when that finds no result table).",
         "NAME"},
        {"progress", "import-old: 'progress DONE TOTAL' lines on standard error."},
        {"inspect", "import-old: describe the file, import nothing."},
        {"batch", "import-old: most tests per transaction (default 1000).", "N"},
        {"settings",
         "import-settings: the settings file to write; diagnostics: the one to read (default: "
         "this user's).",
         "FILE"},
        {"out", "export: the CSV file to write; diagnostics: the zip archive.", "FILE"},
        {"from", "trend: first test date (default: 29 days before today).", "DATE"},
        {"to", "trend: last test date (default: today).", "DATE"},
        {"where", "trend: a filter such as '化成电压 = 200' or '水煮前 = True'; repeatable.",
         "COND"},
        {"png", "trend: also draw the chart into this PNG file.", "FILE"},
        {"days", "demo-trend: days of tests up to today (default 30).", "N"},
    });
    p.process(*app);

    const QStringList args = p.positionalArguments();
    if (args.size() == 2 && args.first() == QLatin1String("import-settings"))
        return runImportSettings(p, args[1]);
    if (args.size() >= 2 && args.first() == QLatin1String("import-old")) {
        if (!p.isSet("inspect")) return runImportOld(p, args.mid(1));
        if (args.size() != 2) return usage(QStringLiteral("--inspect takes one file"));
        return runInspectOld(p, args[1]);
    }
    if (args.size() != 1)
        return usage(
            QStringLiteral("one command: query, show, export, upload, trend, demo-trend or "
                           "diagnostics"));
    const QString command = args.first();
    if (command == QLatin1String("diagnostics")) return runDiagnostics(p);
    if (command == QLatin1String("demo-trend")) {
        const QString folder = workingFolder::forThisProgram(p.value("workdir"));
        QDir().mkpath(folder);
        ResultStore demoStore(folder);
        bool ok = true;
        const int days = p.isSet("days") ? p.value("days").toInt(&ok) : 30;
        return runDemoTrend(demoStore, ok ? days : 0);
    }
    const auto kind = kindFromKey(p.value("kind"));
    if (!kind && command == QLatin1String("trend"))
        return usage(QStringLiteral("--kind 应为 tv（TV测试）、leakage（漏电流测试）或 "
                                    "electrolyte（电解液测试）"));
    if (!kind) return usage(QStringLiteral("--kind takes tv, leakage or electrolyte"));
    const ResultStore store(workingFolder::forThisProgram(p.value("workdir")));
    if (command == QLatin1String("trend")) return runTrend(p, *kind, store);
    if (command == QLatin1String("upload")) return runUpload(p, *kind, store);
    if (command == QLatin1String("show")) {
        if (!p.isSet("test")) return usage(QStringLiteral("--test is required"));
        const auto test = store.load(*kind, TestKey{p.value("test"), p.isSet("after-boiling")});
        if (!test) {
            std::fprintf(stderr, "q7rk-results: no stored test %s\n", qPrintable(p.value("test")));
            return Failed;
        }
        return printTest(p.value("kind"), *test);
    }

    QueryCondition cond{*kind, p.value("field"), p.value("op"), p.value("value"),
                        p.value("value2")};
    const bool searched = p.isSet("field");
    if (searched || command == QLatin1String("query")) {
        if (fieldIndex(*kind, cond.field) < 0)
            return usage(QStringLiteral("--field names no field of that kind"));
        if (!QStringList{">", "<", "=", QStringLiteral("介于")}.contains(cond.comparison))
            return usage(QStringLiteral("--op takes >, <, = or 介于"));
        if (!p.isSet("value")) return usage(QStringLiteral("--value is required"));
    }

    if (command == QLatin1String("query")) return printQuery(p.value("kind"), store.query(cond));
    if (command != QLatin1String("export")) return usage(QStringLiteral("unknown command"));
    if (!p.isSet("out")) return usage(QStringLiteral("--out is required"));

    if (p.isSet("test")) {
        qsizetype samples = 0;
        const auto bytes =
            curveCsv(store, *kind, TestKey{p.value("test"), p.isSet("after-boiling")}, &samples);
        if (!bytes) {
            std::fprintf(stderr, "q7rk-results: no stored test %s\n", qPrintable(p.value("test")));
            return Failed;
        }
        if (!writeFileAtomically(p.value("out"), *bytes)) return cannotWrite(p.value("out"));
        std::printf("%lld\n", static_cast<long long>(samples));
        return Done;
    }
    // A year of rows goes to the file a page at a time.
    if (!searched) cond = QueryCondition{*kind, {}, {}, {}, {}};
    CsvFileWriter writer(p.value("out"), fieldNames(*kind), numberColumns(*kind));
    ResultRows page = ResultStore::emptyRows(*kind);
    qint64 written = 0;
    do {
        page.cells.clear();
        // A file that stops answering halfway leaves no file rather than part of one.
        if (!store.appendPage(cond, page, 5000) && written > 0) return cannotWrite(p.value("out"));
        writer.append(page);
        written += page.count();
    } while (!page.atEnd);
    if (!writer.commit()) return cannotWrite(p.value("out"));
    std::printf("%lld\n", static_cast<long long>(written));
    return Done;
}
