// q7rk-plantdb: sets up the plant database's data source, sends the uploads that are
// waiting in a working folder's queue and tells what an existing plant database lacks.
#include "plant/OdbcSources.h"
#include "plant/PlantConnection.h"
#include "plant/PlantSchema.h"
#include "plant/PlantSetup.h"
#include "plant/PlantUploader.h"
#include "settings/WorkingFolder.h"
#include "version/Version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <cstdio>

using namespace q7rk;

namespace {

constexpr int UsageError = 64;

void printError(const QString& text) {
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

// Where the data source went: the account's ODBC file, or the one ODBCINI names.
QString odbcFileNote() {
    const QString file = OdbcSources::userFile();
    return qEnvironmentVariableIsEmpty("ODBCINI")
               ? QStringLiteral("written to the ODBC file %1").arg(file)
               : QStringLiteral("written to the ODBC file %1 named by ODBCINI").arg(file);
}

int init(const QCommandLineParser& p) {
    const QString dsn = p.value(QStringLiteral("dsn"));
    if (p.isSet(QStringLiteral("postgres"))) {
        const PlantStatus s = PlantSetup::initPostgres(p.value(QStringLiteral("postgres")), dsn);
        if (!s.ok()) {
            printError(s.message);
            return 1;
        }
        std::printf("data source %s -> PostgreSQL %s (%s)\n", qPrintable(dsn),
                    qPrintable(p.value(QStringLiteral("postgres"))), qPrintable(odbcFileNote()));
        return 0;
    }
    const QString file = p.isSet(QStringLiteral("file")) ? p.value(QStringLiteral("file"))
                                                         : PlantSetup::defaultFile();
    const PlantStatus s = PlantSetup::initSqlite(file, dsn);
    if (!s.ok()) {
        printError(s.message);
        return 1;
    }
    std::printf("data source %s -> SQLite %s (%s)\n", qPrintable(dsn),
                qPrintable(QDir().absoluteFilePath(file)), qPrintable(odbcFileNote()));
    return 0;
}

int retry(const QCommandLineParser& p) {
    const QString dir = workingFolder::forThisProgram(p.value(QStringLiteral("workdir")));
    const PlantUploader uploader(PlantSource(p.value(QStringLiteral("dsn"))),
                                 QDir(dir).filePath(QString::fromLatin1(UploadQueue::FileName)));
    // Held uploads (refused for good last time) go only when asked for, as in the window.
    const RetryReport report =
        uploader.retry({.held = p.isSet(QStringLiteral("held")), .only = {}});
    QJsonArray uploaded;
    for (const auto& [serial, curve] : report.uploaded)
        uploaded.append(QJsonArray{serial, curve});
    std::printf("{\"uploaded\": %s, \"left\": %d}\n",
                QJsonDocument(uploaded).toJson(QJsonDocument::Compact).constData(), report.left);
    if (!report.status.ok()) printError(report.status.message);
    return report.left == 0 && report.status.ok() ? 0 : 1;
}

// Exit 0: the database has all this program needs; 1: something is missing, of an unusable
// type or has a gap; 2: it could not be read.
int check(const QCommandLineParser& p) {
    const PlantSource source(p.value(QStringLiteral("dsn")));
    PlantConnection c(source, PlantLogin::Own);
    const auto report = plantSchema::check(c);
    if (!report.ok()) {
        printError(report.status.message);
        return 2;
    }
    std::printf("%s\n", QJsonDocument(report.value).toJson(QJsonDocument::Compact).constData());
    return plantSchema::complete(report.value) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("q7rk-plantdb"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(version::Number));
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Plant database set-up and upload retry.\n\n"
                       "  init [--file PATH]         SQLite database and its data source, written\n"
                       "                             to ~/.odbc.ini (or the file ODBCINI names)\n"
                       "  init --postgres 'host=H port=P dbname=D'\n"
                       "                             tables on a PostgreSQL server (login sa)\n"
                       "  retry [--workdir DIR] [--held]\n"
                       "                             send the uploads waiting in DIR's queue "
                       "once\n"
                       "                             (--held: also those refused for good "
                       "before);\n"
                       "                             prints {\"uploaded\": [[serial, curve "
                       "number], ...], \"left\": N}\n"
                       "  check                      what the database lacks (tables, columns "
                       "and\n"
                       "                             their types, Curve's sample columns and "
                       "the\n"
                       "                             longest curve they hold, key indexes) as "
                       "JSON;\n"
                       "                             changes nothing"));
    p.addHelpOption();
    p.addVersionOption();
    p.addPositionalArgument(QStringLiteral("command"), QStringLiteral("init, retry or check"));
    p.addOption(
        {QStringLiteral("file"), QStringLiteral("SQLite database file."), QStringLiteral("path")});
    p.addOption({QStringLiteral("postgres"), QStringLiteral("PostgreSQL server to use."),
                 QStringLiteral("connection")});
    p.addOption({QStringLiteral("workdir"),
                 QStringLiteral("Folder of the upload queue (default: the current one, or the "
                                "user's data folder when installed)."),
                 QStringLiteral("dir")});
    p.addOption({QStringLiteral("held"),
                 QStringLiteral("retry: also the uploads held after a refusal for good.")});
    p.addOption({QStringLiteral("dsn"), QStringLiteral("Data source name (default result)."),
                 QStringLiteral("name"), QString::fromLatin1(PlantSource::DefaultName)});
    p.process(app);
    const QStringList args = p.positionalArguments();
    if (args.size() == 1 && args[0] == QLatin1String("init")) return init(p);
    if (args.size() == 1 && args[0] == QLatin1String("retry")) return retry(p);
    if (args.size() == 1 && args[0] == QLatin1String("check")) return check(p);
    std::fprintf(stderr, "%s", qPrintable(p.helpText()));
    return UsageError;
}
