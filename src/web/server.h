// The HTTP page host: serves the office's pages (messages, plans, calendar)
// built on the component, with sessions, one shared Application and per-request
// page contexts. Serve blocks until the server stops.
#ifndef KORIMBA_WEB_SERVER_H_
#define KORIMBA_WEB_SERVER_H_

#include <string>

namespace korimba::web {

struct ServeOptions {
  std::string db = "sqlite:korimba.db";
  std::string listen = "127.0.0.1:8080";
  std::string attachments = "attachments";
};

// Runs the server; returns the process exit code.
int Serve(const ServeOptions& options);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_SERVER_H_
