#pragma once

#include <QString>

namespace q7rk {

// The three login texts of the plant database. They name the same data source and login
// and differ only in spelling; each kind of operation keeps the one it always used. A data
// source that names its own user (UID or Username, with its password) is reached with
// "DSN=name;" alone.
enum class PlantLogin {
    Shared,    // "DSN=result;UID=sa;Password=;" (plantConnectString, runPlantSql)
    Recordset, // "DSN=result;User ID=sa;Password=;" (openPlantRecordset)
    Own,       // "DSN=result;User ID=sa;password=;" (operations with a connection of their own)
};

// How long a plant connection waits, in seconds: for the server to take the login, and for a
// statement's reply. A server that cannot be reached or does not answer then costs the
// operator seconds on the window's thread instead of minutes, and the piece goes to the
// queue. Zero waits without limit.
struct PlantWaits {
    static constexpr int DefaultSeconds = 5;
    int loginSeconds = DefaultSeconds;
    int statementSeconds = DefaultSeconds;
};

// Where the plant database is reached: an ODBC data source, "result" unless the tools or
// the tests name another one, and how long its connections wait.
class PlantSource {
public:
    static constexpr const char* DefaultName = "result";

    explicit PlantSource(QString dataSource = QString::fromLatin1(DefaultName),
                         PlantWaits waits = {});

    const QString& dataSource() const { return m_dataSource; }
    const PlantWaits& waits() const { return m_waits; }
    // Reads the data source's keys each time: set-up may have changed them.
    QString connectString(PlantLogin login) const;

private:
    QString m_dataSource;
    PlantWaits m_waits;
};

// "DSN=result;UID=sa;Password=;"
QString plantConnectString();

} // namespace q7rk
