// AccessLog writes one line per answered request, for the administrator:
// local time, client address, the signed-in person's id ("-" when none),
// method, path (the query is left out, since its values may be private),
// status, body bytes and the time taken in milliseconds. Lines go to standard
// error or are appended to a file. Write may be called from any thread; each
// line is written whole. The server owns the log for its whole run.
#ifndef KORIMBA_WEB_ACCESS_LOG_H_
#define KORIMBA_WEB_ACCESS_LOG_H_

#include <httplib.h>

#include <fstream>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>

#include "frame/variant.h"

namespace korimba::web {

class Site;

struct AccessLine {
  std::string time;    // "2024-03-05T09:07:00+0800"
  std::string client;  // remote address
  std::string person;  // PersonID or "-"
  std::string method;
  std::string path;  // without its query
  int status = 0;
  size_t bytes = 0;
  double ms = -1;  // below 0: not known
};

// "TIME CLIENT PERSON METHOD PATH STATUS BYTES MSms", fields without blanks
// (a blank in the path is written %20).
std::string FormatAccessLine(const AccessLine& line);

class AccessLog {
 public:
  // Appends to `path`, or writes to standard error when `path` is empty;
  // throws std::runtime_error naming the file when it cannot be opened.
  explicit AccessLog(const std::string& path);
  AccessLog(const AccessLog&) = delete;
  AccessLog& operator=(const AccessLog&) = delete;

  void Write(const AccessLine& line);

 private:
  std::mutex mu_;
  std::ofstream file_;
  std::ostream* out_;
};

// Notes when the request began; the site's routing calls it first thing, on
// the worker thread that then answers the request.
void MarkRequestStart(const httplib::Request& req);
// Notes the person of the session the request came with, as the routing
// found it, so that the request's line needs no second look-up of the
// session (a round trip when sessions are kept in Redis).
void MarkRequestPerson(const httplib::Request& req, const Variant& person_id);

// Writes a line for every request `server` answers through its routes.
void InstallAccessLog(httplib::Server& server, Site& site, std::shared_ptr<AccessLog> log);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_ACCESS_LOG_H_
