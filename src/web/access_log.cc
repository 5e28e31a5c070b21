#include "web/access_log.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <optional>
#include <stdexcept>

#include "frame/value_ops.h"
#include "host/redis_client.h"
#include "web/site.h"

namespace korimba::web {
namespace {

// The start of the request this worker thread is answering.
struct Start {
  const httplib::Request* req = nullptr;
  std::chrono::steady_clock::time_point at;
  // The person of the session the routing found ("-": none), once it has.
  std::optional<std::string> person;
};
thread_local Start tls_start;

std::string LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buf[40];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S%z", &local);
  return buf;
}

std::string NoBlanks(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == ' ') {
      out += "%20";
    } else if (c == '\n' || c == '\r' || c == '\t') {
      out += '_';
    } else {
      out += c;
    }
  }
  return out.empty() ? "-" : out;
}

}  // namespace

std::string FormatAccessLine(const AccessLine& l) {
  std::string ms = "-";
  if (l.ms >= 0) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1fms", l.ms);
    ms = buf;
  }
  return NoBlanks(l.time) + " " + NoBlanks(l.client) + " " + NoBlanks(l.person) + " " +
         NoBlanks(l.method) + " " + NoBlanks(l.path) + " " + std::to_string(l.status) + " " +
         std::to_string(l.bytes) + " " + ms;
}

AccessLog::AccessLog(const std::string& path) : out_(&std::cerr) {
  if (path.empty()) return;
  file_.open(path, std::ios::app);
  if (!file_) throw std::runtime_error("cannot open the access log " + path);
  out_ = &file_;
}

void AccessLog::Write(const AccessLine& line) {
  const std::string text = FormatAccessLine(line) + "\n";
  std::lock_guard lock(mu_);
  *out_ << text << std::flush;
}

void MarkRequestStart(const httplib::Request& req) {
  tls_start = {&req, std::chrono::steady_clock::now(), std::nullopt};
}

void MarkRequestPerson(const httplib::Request& req, const Variant& person_id) {
  if (tls_start.req != &req) return;
  tls_start.person = person_id.is_number() ? TextForm(person_id) : "-";
}

void InstallAccessLog(httplib::Server& server, Site& site, std::shared_ptr<AccessLog> log) {
  server.set_logger([&site, log](const httplib::Request& req, const httplib::Response& res) {
    AccessLine line;
    line.time = LocalTimeNow();
    line.client = req.remote_addr;
    line.person = "-";
    if (tls_start.req == &req && tls_start.person) {
      line.person = *tls_start.person;
    } else {
      try {
        if (auto session = SessionOf(site, req)) {
          const Variant id = session->values->Value("PersonID");
          if (id.is_number()) line.person = TextForm(id);
        }
      } catch (const StateUnavailable&) {
        // The line is written without the person.
      }
    }
    line.method = req.method;
    line.path = req.path;
    line.status = res.status;
    line.bytes = res.body.size();
    if (tls_start.req == &req) {
      line.ms =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - tls_start.at)
              .count();
    }
    log->Write(line);
  });
}

}  // namespace korimba::web
