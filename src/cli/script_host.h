// ScriptHost runs the JSON-lines script protocol: one request object per
// input line, one answer object per output line (flushed), blank lines
// skipped. A run owns the database connection (behind a TracingConnection),
// one Application shared by all its sessions, named sessions, named objects
// with the Page each one is attached to, and the component clock: a
// ManualClock installed for the life of the host and put back to the real
// clock when the host goes. Requests:
//   create {obj, progid}            drop {obj}
//   session {session, values?}      start {obj, session, url}   end {obj}
//   connect {obj}                   call {obj, method, args?}
//   put {obj, property, value}      get {session | application: true, name}
//   sql {text}                      clock {set | advance | real}
// Answers: {"ok": true[, "result": value]} or
//          {"ok": false, "error": {"number": N, "description": "..."}},
// plus "sql": [{"via", "text"}...] with tracing on: the statements the
// component sent during that request ("sql" requests themselves bypass it).
// Values are encoded as json_value.h says. One thread: the thread that runs
// the host is the objects' apartment.
#ifndef KORIMBA_CLI_SCRIPT_HOST_H_
#define KORIMBA_CLI_SCRIPT_HOST_H_

#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "cli/json_value.h"
#include "cli/tracing_connection.h"
#include "frame/clock.h"
#include "frame/dispatch.h"
#include "host/page_host.h"

namespace korimba::cli {

struct ScriptHostOptions {
  bool trace = false;
};

class ScriptHost {
 public:
  ScriptHost(std::shared_ptr<Connection> connection, ScriptHostOptions options);
  ScriptHost(const ScriptHost&) = delete;
  ScriptHost& operator=(const ScriptHost&) = delete;
  // Ends every page still open, releases the objects and gives the component
  // back the real clock.
  ~ScriptHost();

  // The answer to one request line, without a newline; nullopt for a blank
  // line.
  std::optional<std::string> HandleLine(std::string_view line);
  // Answers every line of `in` on `out`, flushing after each answer.
  void Run(std::istream& in, std::ostream& out);

 private:
  struct Named {
    std::shared_ptr<DispatchObject> object;
    std::unique_ptr<Page> page;  // from "start" until "end" or drop
  };

  // Each returns the result, or nullopt when the request has none.
  std::optional<Json> Dispatch(const Json& request);
  std::optional<Json> Create(const Json& request);
  std::optional<Json> Drop(const Json& request);
  std::optional<Json> Session(const Json& request);
  std::optional<Json> Start(const Json& request);
  std::optional<Json> End(const Json& request);
  std::optional<Json> Connect(const Json& request);
  std::optional<Json> Call(const Json& request);
  std::optional<Json> Put(const Json& request);
  std::optional<Json> Get(const Json& request);
  std::optional<Json> Sql(const Json& request);
  std::optional<Json> SetClock(const Json& request);

  Named& Object(const Json& request);
  std::shared_ptr<InMemorySession> SessionNamed(const std::string& name);

  ScriptHostOptions options_;
  std::shared_ptr<TracingConnection> connection_;
  // Installed for the host's life; gives back whatever clock was there before.
  ScopedClockOverride clock_;
  std::shared_ptr<InMemoryApplication> application_;
  std::map<std::string, std::shared_ptr<InMemorySession>> sessions_;
  std::map<std::string, Named> objects_;
};

}  // namespace korimba::cli

#endif  // KORIMBA_CLI_SCRIPT_HOST_H_
