#pragma once

#include <QString>

namespace q7rk {

// The three login texts of the plant database. They name the same data source and login
// and differ only in spelling; each kind of operation keeps the one it always used.
enum class PlantLogin {
    Shared,    // "DSN=result;UID=sa;Password=;" (plantConnectString, runPlantSql)
    Recordset, // "DSN=result;User ID=sa;Password=;" (openPlantRecordset)
    Own,       // "DSN=result;User ID=sa;password=;" (operations with a connection of their own)
};

// Where the plant database is reached: an ODBC data source, "result" unless the tools or
// the tests name another one.
class PlantSource {
public:
    static constexpr const char* DefaultName = "result";

    explicit PlantSource(QString dataSource = QString::fromLatin1(DefaultName));

    const QString& dataSource() const { return m_dataSource; }
    QString connectString(PlantLogin login) const;

private:
    QString m_dataSource;
};

// "DSN=result;UID=sa;Password=;"
QString plantConnectString();

} // namespace q7rk
