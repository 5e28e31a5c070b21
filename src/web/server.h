// The HTTP page host: serves the office's pages (messages, plans, calendar)
// built on the component, with sessions, one shared Application and per-request
// page contexts. Serve blocks until the server stops.
#ifndef KORIMBA_WEB_SERVER_H_
#define KORIMBA_WEB_SERVER_H_

#include "web/serve_options.h"

namespace korimba::web {

// Runs the server; returns the process exit code.
int Serve(const ServeOptions& options);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_SERVER_H_
