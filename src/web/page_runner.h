// PageRun is one page request's use of the component, as a page script uses
// it: objects are created by ProgID on first use, the page host calls
// OnStartPage with this request's scripting context (the visitor's session,
// the one Application, and the server variable "url" = the request path), the
// page hands over its connection with SetConn (and the attachments directory
// as WorkPath), calls methods by name, and at the end of the request the page
// host calls OnEndPage, ends the page (releasing an Application lock still
// held) and gives the connection back. The connection is leased from the pool
// by the request's first statement (web/connection_pool.h, LeaseOnUse), so a
// request that runs none (the on-line list) never waits for one; a statement
// that finds the pool busy makes the call fail with PoolBusy. Lives on one
// request thread.
#ifndef KORIMBA_WEB_PAGE_RUNNER_H_
#define KORIMBA_WEB_PAGE_RUNNER_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "frame/dispatch.h"
#include "host/page_host.h"
#include "web/connection_pool.h"

namespace korimba::web {

class PageRun {
 public:
  PageRun(std::shared_ptr<HostApplication> application, std::shared_ptr<SessionObject> session,
          std::string url, ConnectionPool& pool, std::string work_path);
  PageRun(const PageRun&) = delete;
  PageRun& operator=(const PageRun&) = delete;
  ~PageRun();

  // Calls a method of this request's Message / Plan object by name; errors
  // are AutomationErrors.
  Variant Message(std::string_view method, std::vector<Variant> args = {});
  Variant Plan(std::string_view method, std::vector<Variant> args = {});
  // Runs a statement the page itself owns (a constant text, never built from
  // input) on this request's connection.
  ResultTable Query(std::string_view constant_statement);
  // This request's connection, for the page's own lookups built with
  // StatementBuilder (web/page_queries.h).
  Connection& connection() { return *conn_; }

 private:
  DispatchObject& Object(std::string_view prog_id, std::shared_ptr<DispatchObject>& slot);
  Variant Call(std::string_view prog_id, std::shared_ptr<DispatchObject>& slot,
               std::string_view method, std::vector<Variant>& args);

  std::string work_path_;
  std::shared_ptr<LeaseOnUse> conn_;
  Page page_;
  std::shared_ptr<DispatchObject> message_;
  std::shared_ptr<DispatchObject> plan_;
};

}  // namespace korimba::web

#endif  // KORIMBA_WEB_PAGE_RUNNER_H_
