#pragma once

#include "plant/PlantStatus.h"

#include <QList>
#include <QPair>
#include <QString>
#include <initializer_list>

namespace q7rk {

// The ODBC driver manager's files on this computer: the per-user data sources (where the
// set-up tool registers "result"), the system ones and the installed drivers. Paths follow
// the driver manager's own rules: ODBCINI names the user file, ODBCSYSINI the folder of the
// system files.
class OdbcSources {
public:
    using Keys = QList<QPair<QString, QString>>;

    static QString userFile();
    static QString systemFile();
    static QString driversFile();

    // Every section of an ODBC ini file (data sources, or the drivers) in the file's order,
    // with its keys; none when the file cannot be read.
    struct Section {
        QString name;
        Keys keys;
    };
    static QList<Section> sections(const QString& file);

    // Whether the user or the system file defines data source `name`.
    static bool hasSource(const QString& name);
    // The keys of data source `name` as the driver manager reads them: the user file's
    // section, else the system file's.
    static Keys sourceKeys(const QString& name);
    // The keys a connection text gives the driver: its data source's, then its own pairs
    // ("DSN=x;UID=u;", "DRIVER={...};Servername=h;") over them.
    static Keys connectKeys(const QString& connectText);
    // The value of the first of `names` present (case as the driver manager: ignored).
    static QString value(const Keys& keys, std::initializer_list<const char*> names);
    // Whether the keys name a user of their own (UID or Username).
    static bool hasLogin(const Keys& keys);

    // The name of the installed driver whose library is `library` (for example
    // "libsqlite3odbc.so"), else the library's full path when found in the usual folders,
    // else empty.
    static QString findDriver(const QString& library);
    // Where the driver manager loads a driver's library from: a full path as it is, a bare
    // name from the usual folders; empty when it is nowhere.
    static QString driverLibrary(const QString& driverValue);

    // Writes data source `name` with `keys` into the user file, replacing one of that name
    // and keeping everything else in the file. A file that holds a password (Password or
    // PWD) is left readable by its owner only, whatever its mode was.
    static PlantStatus writeUserSource(const QString& name, const Keys& keys);
};

} // namespace q7rk
