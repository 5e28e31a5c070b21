// LimitedServer is the page host's httplib::Server with its connections
// handled here, under HttpLimits. A connection that waits - for its first
// request, for the rest of a request's head, for a small body, or between
// keep-alive requests - sits with one watcher thread that reads what arrives
// and holds no worker; a worker takes the connection only once a request's
// head (and a body up to HttpLimits::prefetch_body_bytes) has arrived whole,
// and hands it back after answering. Heads over the limits, bodies over the
// limit in any transfer encoding, and requests that do not arrive within the
// deadline are answered with a readable page and the connection is closed
// after the client's remaining bytes are read off (so that it sees the
// answer). Register routes and bind as on any httplib::Server; the limits
// are fixed at construction. The watcher and the workers live from
// listen_after_bind until stop.
#ifndef KORIMBA_WEB_LIMITED_SERVER_H_
#define KORIMBA_WEB_LIMITED_SERVER_H_

#include <httplib.h>

#include <atomic>
#include <memory>

#include "web/http_limits.h"

namespace korimba::web {

class LimitedServer : public httplib::Server {
 public:
  explicit LimitedServer(HttpLimits limits = {});
  ~LimitedServer() override;

  const HttpLimits& limits() const { return limits_; }

  struct ClientConnection;
  class Workers;

 private:
  // Called by httplib on a worker for each accepted socket: hands it to the
  // watcher and returns at once.
  bool process_and_close_socket(socket_t sock) override;
  // On a worker: answers the request whose head the watcher has received,
  // then gives the connection back to the watcher or closes it.
  void Answer(std::unique_ptr<ClientConnection> conn);

  HttpLimits limits_;
  std::atomic<Workers*> workers_{nullptr};
  std::atomic<size_t> open_{0};
};

}  // namespace korimba::web

#endif  // KORIMBA_WEB_LIMITED_SERVER_H_
