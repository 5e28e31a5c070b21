// The HTTP page host: serves the office's pages (messages, plans, calendar)
// built on the component, with sessions, one shared Application and per-request
// page contexts. Serve blocks until the server stops.
#ifndef KORIMBA_WEB_SERVER_H_
#define KORIMBA_WEB_SERVER_H_

#include <string>

#include "web/connection_pool.h"
#include "web/serve_options.h"

namespace korimba::web {

// Runs the server; returns the process exit code.
int Serve(const ServeOptions& options);

// How the server's pool keeps connections to the database `db` usable: a
// file or server database is opened again when a connection is lost (a
// database server restarted, the file replaced under it); an in-memory one
// gets no upkeep, since a new connection would be a new, empty database.
PoolUpkeep DatabaseUpkeep(const std::string& db);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_SERVER_H_
