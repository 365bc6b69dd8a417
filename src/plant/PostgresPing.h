#pragma once

#include "plant/OdbcSources.h"

namespace q7rk {

// Whether the PostgreSQL server that data source keys name (Servername or Server, Port)
// takes connections at all, whatever it thinks of the login; waits at most `seconds`.
// psqlODBC reports every failed login as 08001 with the server's words in the server's
// language; libpq's ping reads the server's code and tells "there and refusing" from "away".
bool postgresAnswers(const OdbcSources::Keys& keys, int seconds);

} // namespace q7rk
