// q7rk-plantdb: sets up the plant database's data source, sends the uploads that are
// waiting in a working folder's queue and tells what an existing plant database lacks.
#include "Trend.h"
#include "plant/OdbcSources.h"
#include "plant/PlantConnection.h"
#include "plant/PlantSchema.h"
#include "plant/PlantSetup.h"
#include "plant/PlantUploader.h"
#include "quality/PictureApplication.h"
#include "settings/WorkingFolder.h"
#include "version/Version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
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

// The first line of `path`, without its line end; the password never leaves this program
// but into the data source file.
PlantStatus readPassword(const QString& path, QString& password) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return PlantStatus::failure(PlantFault::BadInput,
                                    QStringLiteral("无法读取密码文件“%1”。").arg(path));
    QByteArray line = f.readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    password = QString::fromUtf8(line);
    line.fill('\0');
    return PlantStatus::success();
}

int initPostgres(const QCommandLineParser& p) {
    const QString dsn = p.value(QStringLiteral("dsn"));
    PlantSetup::Login login{p.value(QStringLiteral("user")), {}};
    if (login.user.isEmpty() && p.isSet(QStringLiteral("password-file"))) {
        printError(QStringLiteral("--password-file需要--user。"));
        return UsageError;
    }
    if (p.isSet(QStringLiteral("password-file"))) {
        if (PlantStatus s = readPassword(p.value(QStringLiteral("password-file")), login.password);
            !s.ok()) {
            printError(s.message);
            return UsageError;
        }
    }
    bool missing = false;
    const PlantStatus s =
        PlantSetup::initPostgres(p.value(QStringLiteral("postgres")), dsn, -1, login, &missing);
    login.password.fill(QLatin1Char('\0'));
    if (!s.ok()) {
        printError(s.message);
        return 1;
    }
    std::printf("data source %s -> PostgreSQL %s, login %s (%s)\n", qPrintable(dsn),
                qPrintable(p.value(QStringLiteral("postgres"))),
                login.user.isEmpty() ? "sa" : qPrintable(login.user), qPrintable(odbcFileNote()));
    if (missing)
        printError(QStringLiteral("工厂数据库缺少本程序所需的表或列，请用 q7rk-plantdb check "
                                  "查看。"));
    return 0;
}

int init(const QCommandLineParser& p) {
    const QString dsn = p.value(QStringLiteral("dsn"));
    if (p.isSet(QStringLiteral("postgres"))) return initPostgres(p);
    if (p.isSet(QStringLiteral("user")) || p.isSet(QStringLiteral("password-file"))) {
        printError(QStringLiteral("--user和--password-file只用于--postgres。"));
        return UsageError;
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
    const auto app = pictureApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("q7rk-plantdb"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(version::Number));
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Plant database set-up and upload retry.\n\n"
                       "  init [--file PATH]         SQLite database and its data source, written\n"
                       "                             to ~/.odbc.ini (or the file ODBCINI names)\n"
                       "  init --postgres 'host=H port=P dbname=D'\n"
                       "                             tables on a PostgreSQL server (login sa)\n"
                       "  init --postgres '...' --user U --password-file F\n"
                       "                             a plant's server with login U, password\n"
                       "                             from F's first line; creates nothing\n"
                       "  retry [--workdir DIR] [--held]\n"
                       "                             send the pieces in DIR's outbox that "
                       "wait for the plant, once\n"
                       "                             (--held: also those refused before, "
                       "declined or never asked about);\n"
                       "                             prints {\"uploaded\": [[serial, curve "
                       "number], ...], \"left\": N}\n"
                       "  check                      what the database lacks (tables, columns "
                       "and\n"
                       "                             their types, Curve's sample columns and "
                       "the\n"
                       "                             longest curve they hold, key indexes) as "
                       "JSON;\n"
                       "                             changes nothing\n"
                       "  trend --spec S [--field vt] [--line L] [--from D] [--to D]\n"
                       "        [--boiled before|after] [--piece N] [--lsl X] [--usl Y] "
                       "[--png FILE]\n"
                       "        [--subgroup foil] [--baseline-from D --baseline-to D | "
                       "--baseline-first N]\n"
                       "                             control chart of one value of the "
                       "plant's pieces\n"
                       "                             of a grade as JSON (fields: vt, "
                       "tr, vm,\n"
                       "                             ratio, specvot, bend, pull, dvt, dtr)"));
    p.addHelpOption();
    p.addVersionOption();
    p.addPositionalArgument(QStringLiteral("command"),
                            QStringLiteral("init, retry, check or trend"));
    p.addOption(
        {QStringLiteral("file"), QStringLiteral("SQLite database file."), QStringLiteral("path")});
    p.addOption({QStringLiteral("postgres"), QStringLiteral("PostgreSQL server to use."),
                 QStringLiteral("connection")});
    p.addOption({QStringLiteral("user"),
                 QStringLiteral("init --postgres: the login the data source carries."),
                 QStringLiteral("name")});
    p.addOption({QStringLiteral("password-file"),
                 QStringLiteral("init --postgres: file whose first line is the password."),
                 QStringLiteral("path")});
    p.addOption({QStringLiteral("workdir"),
                 QStringLiteral("Folder of the upload queue (default: the current one, or the "
                                "user's data folder when installed)."),
                 QStringLiteral("dir")});
    p.addOption({QStringLiteral("held"),
                 QStringLiteral("retry: also the pieces held after a refusal, declined by the "
                                "operator or never asked about.")});
    p.addOption({QStringLiteral("dsn"), QStringLiteral("Data source name (default result)."),
                 QStringLiteral("name"), QString::fromLatin1(PlantSource::DefaultName)});
    p.addOptions({
        {"spec", "trend: the grade (Speci).", "S"},
        {"field", "trend: the value charted (default vt).", "KEY", "vt"},
        {"line", "trend: only this production line (PLNum).", "L"},
        {"from", "trend: first upload date (default 30 days before --to).", "DATE"},
        {"to", "trend: last upload date (default today).", "DATE"},
        {"boiled", "trend: before or after boiling (default both).", "SIDE"},
        {"piece", "trend: only piece N (1-3, with its N') of each foil.", "N"},
        {"lsl", "trend: lower tolerance limit.", "X"},
        {"usl", "trend: upper tolerance limit.", "Y"},
        {"png", "trend: also draw the chart into this PNG file.", "FILE"},
        {"subgroup", "trend: foil, an average and range chart of each foil's pieces.", "KIND"},
        {"baseline-from", "trend: first upload date of the baseline the limits come from.", "DATE"},
        {"baseline-to", "trend: last upload date of the baseline.", "DATE"},
        {"baseline-first", "trend: the first N points (or subgroups) as the baseline.", "N"},
    });
    p.process(*app);
    const QStringList args = p.positionalArguments();
    if (args.size() == 1 && args[0] == QLatin1String("init")) return init(p);
    if (args.size() == 1 && args[0] == QLatin1String("retry")) return retry(p);
    if (args.size() == 1 && args[0] == QLatin1String("check")) return check(p);
    if (args.size() == 1 && args[0] == QLatin1String("trend")) return runPlantTrend(p);
    std::fprintf(stderr, "%s", qPrintable(p.helpText()));
    return UsageError;
}
