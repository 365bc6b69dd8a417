#pragma once

#include "plant/PlantStatus.h"

#include <QString>

namespace q7rk {

// Sets up a plant database of our own and the data source that reaches it: a SQLite file
// through the SQLite ODBC driver (the default on a fresh computer), or a PostgreSQL server
// through its ODBC driver. Tables that exist keep their rows; the data source entry is
// written into the user's ODBC file, replacing one of the same name.
class PlantSetup {
public:
    // The SQLite file used when none is named: beside the user's other program data.
    static QString defaultFile();

    static PlantStatus initSqlite(const QString& file, const QString& dataSource,
                                  int sampleColumns = -1);

    // `connection`: "host=H port=P dbname=D", blanks or semicolons between the pairs.
    // Without a user: the login is sa with an empty password, as the program logs in, and
    // the tables are created. With one: the data source carries that login (the file then
    // readable by its owner only), and the tables are the plant's: the login is tried and
    // nothing is created; `missing` tells whether the tables lack something.
    struct Login {
        QString user;
        QString password;
    };
    static PlantStatus initPostgres(const QString& connection, const QString& dataSource,
                                    int sampleColumns = -1, const Login& login = {},
                                    bool* missing = nullptr);
};

} // namespace q7rk
