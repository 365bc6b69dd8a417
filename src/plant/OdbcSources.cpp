#include "OdbcSources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <optional>
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

// "key = value" -> the pair; nothing for blank lines, comments and lines without "=".
std::optional<QPair<QString, QString>> keyLine(const QString& line) {
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(QLatin1Char('#')) || t.startsWith(QLatin1Char(';')) ||
        !t.contains(QLatin1Char('=')))
        return std::nullopt;
    return QPair<QString, QString>{t.section(QLatin1Char('='), 0, 0).trimmed(),
                                   t.section(QLatin1Char('='), 1).trimmed()};
}

OdbcSources::Keys fileSection(const QString& path, const QString& name) {
    OdbcSources::Keys keys;
    bool inside = false;
    for (const QString& line : readLines(path)) {
        const QString s = sectionName(line);
        if (!s.isEmpty()) {
            if (inside) break;
            inside = s.compare(name, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (const auto pair = keyLine(line); inside && pair) keys.append(*pair);
    }
    return keys;
}

// The folders the driver libraries of the distribution's packages go to.
QStringList driverFolders() {
    QStringList folders;
    for (const QFileInfo& d : QDir(QStringLiteral("/usr/lib")).entryInfoList(QDir::Dirs))
        folders << d.filePath() + QStringLiteral("/odbc");
    folders << QStringLiteral("/usr/lib/odbc") << QStringLiteral("/usr/local/lib");
    return folders;
}

// "k=v;k={v;with;semicolons};" -> pairs, braces taken off.
OdbcSources::Keys textPairs(const QString& text) {
    OdbcSources::Keys pairs;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype eq = text.indexOf(QLatin1Char('='), i);
        if (eq < 0) break;
        const QString key = text.mid(i, eq - i).trimmed();
        QString value;
        qsizetype end = eq + 1;
        if (end < text.size() && text.at(end) == QLatin1Char('{')) {
            const qsizetype close = text.indexOf(QLatin1Char('}'), end);
            value = text.mid(end + 1, (close < 0 ? text.size() : close) - end - 1);
            end = close < 0 ? text.size() : close + 1;
            end = text.indexOf(QLatin1Char(';'), end);
        } else {
            end = text.indexOf(QLatin1Char(';'), end);
            value = text.mid(eq + 1, (end < 0 ? text.size() : end) - eq - 1).trimmed();
        }
        pairs.append({key, value});
        if (end < 0) break;
        i = end + 1;
    }
    return pairs;
}

bool holdsPassword(const OdbcSources::Keys& keys) {
    return !OdbcSources::value(keys, {"Password", "PWD"}).isEmpty();
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

OdbcSources::Keys OdbcSources::sourceKeys(const QString& name) {
    if (fileHasSection(userFile(), name)) return fileSection(userFile(), name);
    return fileSection(systemFile(), name);
}

OdbcSources::Keys OdbcSources::connectKeys(const QString& connectText) {
    const Keys own = textPairs(connectText);
    const QString dsn = value(own, {"DSN"});
    Keys keys = dsn.isEmpty() ? Keys() : sourceKeys(dsn);
    // Pairs found first win in value(): the text's own go in front.
    return own + keys;
}

QString OdbcSources::value(const Keys& keys, std::initializer_list<const char*> names) {
    for (const auto& [key, v] : keys)
        for (const char* n : names)
            if (key.compare(QLatin1String(n), Qt::CaseInsensitive) == 0) return v;
    return {};
}

bool OdbcSources::hasLogin(const Keys& keys) {
    return !value(keys, {"UID", "Username"}).isEmpty();
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
    return driverLibrary(library);
}

QString OdbcSources::driverLibrary(const QString& driverValue) {
    if (driverValue.isEmpty()) return {};
    if (QFileInfo(driverValue).isAbsolute())
        return QFileInfo::exists(driverValue) ? driverValue : QString();
    for (const QString& folder : driverFolders()) {
        const QString path = folder + QLatin1Char('/') + driverValue;
        if (QFileInfo::exists(path)) return path;
    }
    return {};
}

QList<OdbcSources::Section> OdbcSources::sections(const QString& file) {
    QList<Section> out;
    for (const QString& line : readLines(file)) {
        if (const QString s = sectionName(line); !s.isEmpty())
            out.append({s, {}});
        else if (const auto pair = keyLine(line); pair && !out.isEmpty())
            out.last().keys.append(*pair);
    }
    return out;
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

    const PlantStatus failed = PlantStatus::failure(
        PlantFault::LocalStore, QStringLiteral("无法写入ODBC数据源文件“%1”。").arg(path));
    // The owner only, before the password is in it: the file written in its place takes
    // the mode of the one it replaces.
    constexpr auto OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const bool secret = holdsPassword(keys);
    if (secret) {
        QFile existing(path);
        if (!existing.exists() && !existing.open(QIODevice::WriteOnly)) return failed;
        existing.close();
        if (!existing.setPermissions(OwnerOnly)) return failed;
    }
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Text) ||
        f.write(kept.join(QLatin1Char('\n')).toUtf8()) < 0 || !f.commit())
        return failed;
    constexpr auto Others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                            QFileDevice::ExeGroup | QFileDevice::ReadOther |
                            QFileDevice::WriteOther | QFileDevice::ExeOther;
    if (secret && (QFile::permissions(path) & Others)) return failed;
    return PlantStatus::success();
}

} // namespace q7rk
