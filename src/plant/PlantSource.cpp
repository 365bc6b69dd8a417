#include "PlantSource.h"

#include "plant/OdbcSources.h"

#include <utility>

namespace q7rk {

PlantSource::PlantSource(QString dataSource, PlantWaits waits)
    : m_dataSource(std::move(dataSource)), m_waits(waits) {}

QString PlantSource::connectString(PlantLogin login) const {
    // A data source with a login of its own keeps it: sa with no password would take its
    // place, since the texts' pairs go before the data source's keys.
    if (OdbcSources::hasLogin(OdbcSources::sourceKeys(m_dataSource)))
        return QStringLiteral("DSN=%1;").arg(m_dataSource);
    switch (login) {
    case PlantLogin::Shared:
        return QStringLiteral("DSN=%1;UID=sa;Password=;").arg(m_dataSource);
    case PlantLogin::Recordset:
        return QStringLiteral("DSN=%1;User ID=sa;Password=;").arg(m_dataSource);
    case PlantLogin::Own:
        break;
    }
    return QStringLiteral("DSN=%1;User ID=sa;password=;").arg(m_dataSource);
}

QString plantConnectString() {
    return PlantSource().connectString(PlantLogin::Shared);
}

} // namespace q7rk
