#include "PlantSetup.h"

#include "plant/OdbcSources.h"
#include "plant/PlantConnection.h"
#include "plant/PlantSchema.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace q7rk {

namespace {

PlantStatus setupFailure(const QString& message) {
    return PlantStatus::failure(PlantFault::NoDriver, message);
}

PlantStatus createTables(const QString& connectText, const QString& name, int sampleColumns) {
    PlantConnection c(connectText, name);
    return plantSchema::create(c, sampleColumns);
}

// A value in a connection text: in braces when it holds what would end or open a pair.
QString connectValue(const QString& value) {
    if (!value.contains(QRegularExpression(QStringLiteral("[;{}=]|^\\s|\\s$")))) return value;
    QString inner = value;
    inner.replace(QLatin1Char('}'), QStringLiteral("}}"));
    return QLatin1Char('{') + inner + QLatin1Char('}');
}

} // namespace

QString PlantSetup::defaultFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/q7rk/plant.db");
}

PlantStatus PlantSetup::initSqlite(const QString& file, const QString& dataSource,
                                   int sampleColumns) {
    const QString driver = OdbcSources::findDriver(QStringLiteral("libsqlite3odbc.so"));
    if (driver.isEmpty())
        return setupFailure(QStringLiteral("找不到SQLite的ODBC驱动程序（软件包libsqliteodbc）。"));
    const QString path = QFileInfo(file).absoluteFilePath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return PlantStatus::failure(PlantFault::LocalStore,
                                    QStringLiteral("无法建立文件夹“%1”。").arg(path));
    if (sampleColumns < 0) sampleColumns = plantSchema::SqliteSampleColumns;
    if (PlantStatus s = createTables(QStringLiteral("DRIVER={%1};Database=%2;").arg(driver, path),
                                     dataSource, sampleColumns);
        !s.ok())
        return s;
    // NoCreat: a file that went missing is an error, not a new empty database.
    return OdbcSources::writeUserSource(dataSource, {{"Description", "q7rk plant database"},
                                                     {"Driver", driver},
                                                     {"Database", path},
                                                     {"Timeout", "5000"},
                                                     {"NoCreat", "1"}});
}

PlantStatus PlantSetup::initPostgres(const QString& connection, const QString& dataSource,
                                     int sampleColumns, const Login& login, bool* missing) {
    const QString driver = OdbcSources::findDriver(QStringLiteral("psqlodbcw.so"));
    if (driver.isEmpty())
        return setupFailure(
            QStringLiteral("找不到PostgreSQL的ODBC驱动程序（软件包odbc-postgresql）。"));
    QString host = QStringLiteral("127.0.0.1"), port = QStringLiteral("5432"),
            database = QStringLiteral("plant");
    for (const QString& pair :
         connection.split(QRegularExpression(QStringLiteral("[ ;]+")), Qt::SkipEmptyParts)) {
        const QString key = pair.section(QLatin1Char('='), 0, 0).trimmed().toLower();
        const QString value = pair.section(QLatin1Char('='), 1).trimmed();
        if (key == QLatin1String("host") || key == QLatin1String("server"))
            host = value;
        else if (key == QLatin1String("port"))
            port = value;
        else if (key == QLatin1String("dbname") || key == QLatin1String("database"))
            database = value;
        else
            return PlantStatus::failure(
                PlantFault::BadInput,
                QStringLiteral("连接文字中的“%1”无法识别（可用host、port、dbname）。").arg(pair));
    }
    const QString serverText =
        QStringLiteral("DRIVER={%1};Servername=%2;Port=%3;Database=%4;CommLog=0;Debug=0;")
            .arg(driver, host, port, database);
    OdbcSources::Keys keys{{"Description", "q7rk plant database"},
                           {"Driver", driver},
                           {"Servername", host},
                           {"Port", port},
                           {"Database", database}};
    if (login.user.isEmpty()) {
        if (sampleColumns < 0) sampleColumns = plantSchema::PostgresSampleColumns;
        if (PlantStatus s = createTables(serverText + QStringLiteral("UID=sa;PWD=;"), dataSource,
                                         sampleColumns);
            !s.ok())
            return s;
        // The program's login texts say "User ID", which this driver does not read: the user
        // comes from here.
        keys += {{"Username", "sa"}, {"Password", ""}};
    } else {
        PlantConnection c(serverText +
                              QStringLiteral("UID=%1;PWD=%2;")
                                  .arg(connectValue(login.user), connectValue(login.password)),
                          dataSource);
        const auto report = plantSchema::check(c);
        if (!report.ok()) return report.status;
        if (missing) *missing = !plantSchema::complete(report.value);
        keys += {{"Username", login.user}, {"Password", login.password}};
    }
    // No log files of the driver's own.
    keys += {{"CommLog", "0"}, {"Debug", "0"}};
    return OdbcSources::writeUserSource(dataSource, keys);
}

} // namespace q7rk
