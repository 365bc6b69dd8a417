#include "PostgresPing.h"

#include <libpq-fe.h>

namespace q7rk {

bool postgresAnswers(const OdbcSources::Keys& keys, int seconds) {
    const QByteArray host = OdbcSources::value(keys, {"Servername", "Server"}).toUtf8();
    if (host.isEmpty()) return false;
    const QByteArray port = OdbcSources::value(keys, {"Port"}).toUtf8();
    const QByteArray database = OdbcSources::value(keys, {"Database"}).toUtf8();
    // libpq takes no less than 2 s; zero would wait without end.
    const QByteArray timeout = QByteArray::number(qMax(seconds, 2));
    const char* names[] = {"host", "port", "dbname", "connect_timeout", nullptr};
    const char* values[] = {host.constData(), port.isEmpty() ? nullptr : port.constData(),
                            database.isEmpty() ? nullptr : database.constData(),
                            timeout.constData(), nullptr};
    return PQpingParams(names, values, 0) == PQPING_OK;
}

} // namespace q7rk
