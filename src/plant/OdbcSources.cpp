#include "OdbcSources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <pwd.h>
#include <unistd.h>

namespace q7rk {

namespace {

QStringList readLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
}

// "[name]" -> name; empty for other lines.
QString sectionName(const QString& line) {
    const QString t = line.trimmed();
    if (t.size() < 2 || !t.startsWith(QLatin1Char('[')) || !t.endsWith(QLatin1Char(']'))) return {};
    return t.mid(1, t.size() - 2).trimmed();
}

bool fileHasSection(const QString& path, const QString& name) {
    for (const QString& line : readLines(path))
        if (sectionName(line).compare(name, Qt::CaseInsensitive) == 0) return true;
    return false;
}

QString envPath(const char* name) {
    return QString::fromLocal8Bit(qgetenv(name));
}

} // namespace

QString OdbcSources::userFile() {
    const QString fromEnv = envPath("ODBCINI");
    if (!fromEnv.isEmpty()) return fromEnv;
    // The driver manager takes the account's home, not $HOME.
    const passwd* pw = getpwuid(getuid());
    const QString home = pw && pw->pw_dir ? QString::fromLocal8Bit(pw->pw_dir) : QDir::homePath();
    return home + QStringLiteral("/.odbc.ini");
}

QString OdbcSources::systemFile() {
    const QString dir = envPath("ODBCSYSINI");
    return (dir.isEmpty() ? QStringLiteral("/etc") : dir) + QStringLiteral("/odbc.ini");
}

QString OdbcSources::driversFile() {
    const QString dir = envPath("ODBCSYSINI");
    QString file = envPath("ODBCINSTINI");
    if (file.isEmpty()) file = QStringLiteral("odbcinst.ini");
    if (QFileInfo(file).isAbsolute()) return file;
    return (dir.isEmpty() ? QStringLiteral("/etc") : dir) + QLatin1Char('/') + file;
}

bool OdbcSources::hasSource(const QString& name) {
    return fileHasSection(userFile(), name) || fileHasSection(systemFile(), name);
}

QString OdbcSources::findDriver(const QString& library) {
    QString section;
    for (const QString& line : readLines(driversFile())) {
        const QString s = sectionName(line);
        if (!s.isEmpty()) {
            section = s;
            continue;
        }
        const QString key = line.section(QLatin1Char('='), 0, 0).trimmed();
        const QString value = line.section(QLatin1Char('='), 1).trimmed();
        if (!section.isEmpty() && key.compare(QLatin1String("Driver"), Qt::CaseInsensitive) == 0 &&
            QFileInfo(value).fileName() == library)
            return section;
    }
    QStringList folders;
    for (const QFileInfo& d : QDir(QStringLiteral("/usr/lib")).entryInfoList(QDir::Dirs))
        folders << d.filePath() + QStringLiteral("/odbc");
    folders << QStringLiteral("/usr/lib/odbc") << QStringLiteral("/usr/local/lib");
    for (const QString& folder : folders) {
        const QString path = folder + QLatin1Char('/') + library;
        if (QFileInfo::exists(path)) return path;
    }
    return {};
}

PlantStatus OdbcSources::writeUserSource(const QString& name, const Keys& keys) {
    const QString path = userFile();
    QStringList kept;
    bool skipping = false;
    for (const QString& line : readLines(path)) {
        const QString s = sectionName(line);
        if (!s.isEmpty()) skipping = s.compare(name, Qt::CaseInsensitive) == 0;
        if (!skipping) kept << line;
    }
    while (!kept.isEmpty() && kept.last().trimmed().isEmpty())
        kept.removeLast();
    if (!kept.isEmpty()) kept << QString();
    kept << QLatin1Char('[') + name + QLatin1Char(']');
    for (const auto& [key, value] : keys)
        kept << key + QLatin1Char('=') + value;
    kept << QString();

    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Text) ||
        f.write(kept.join(QLatin1Char('\n')).toUtf8()) < 0 || !f.commit())
        return PlantStatus::failure(PlantFault::LocalStore,
                                    QStringLiteral("无法写入ODBC数据源文件“%1”。").arg(path));
    return PlantStatus::success();
}

} // namespace q7rk
