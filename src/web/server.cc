#include "web/server.h"

#include <httplib.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <thread>

#include "db/open.h"
#include "db/sqlite_connection.h"
#include "frame/clock.h"
#include "frame/error.h"
#include "frame/value_ops.h"
#include "web/access_log.h"
#include "web/feed_keys.h"
#include "web/limited_server.h"
#include "web/secret_mask.h"
#include "web/shared_state.h"
#include "web/site.h"
#include "web/static_files.h"
#include "web/test_clock.h"
#include "web/values.h"

namespace korimba::web {
namespace {

constexpr int kListenBacklog = 1024;

// A file database takes a few connections; an in-memory one exists per
// connection, so it must be a single one.
int PoolSize(const ServeOptions& options) {
  if (options.db.find(":memory:") != std::string::npos) return 1;
  return options.pool_size > 0 ? options.pool_size : 4;
}

bool SplitListen(const std::string& listen, std::string* host, int* port) {
  size_t colon = listen.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  *host = listen.substr(0, colon);
  if (host->size() > 2 && host->front() == '[' && host->back() == ']') {
    *host = host->substr(1, host->size() - 2);
  }
  try {
    size_t used = 0;
    *port = std::stoi(listen.substr(colon + 1), &used);
    return used == listen.size() - colon - 1 && *port >= 0 && *port <= 65535;
  } catch (const std::exception&) {
    return false;
  }
}

int64_t Count(Connection& conn, const char* statement) {
  ResultTable table = conn.Query(statement);
  if (table.row_count() != 1 || !table.at(0, 0).is_number()) return 0;
  return ToI4(table.at(0, 0));
}

// The server writes nothing of its own accord; an office without persons or
// accounts is told how to get them.
void SayWhatIsMissing(Connection& conn, AuthMode mode, std::ostream& out) {
  if (Count(conn, "SELECT COUNT(*) FROM HR_Person") == 0) {
    out << "The database has no persons yet. Add them with `korimba person add ID NAME`, or "
           "create the demo office with `korimba init-db --demo`.\n";
  }
  if (mode != AuthMode::kPick && Count(conn, "SELECT COUNT(*) FROM KORIMBA_Account") == 0) {
    out << "The database has no sign-in accounts yet. Create one with `korimba account set "
           "LOGIN --person ID`.\n";
  }
}

// Streams hold a worker each while open: at most half of them may, so that
// pages are still answered however many are open.
StreamSettings LiveStreamSettings(const ServeOptions& options) {
  StreamSettings settings;
  const int workers = WithDefaults(options.limits).workers;
  settings.max_streams = std::clamp(options.max_streams, 0, std::max(workers / 2, 1));
  return settings;
}

}  // namespace

int Serve(const ServeOptions& options) {
  std::string host;
  int port = 0;
  if (!SplitListen(options.listen, &host, &port)) {
    std::cerr << "korimba serve: --listen wants HOST:PORT, such as 127.0.0.1:8080\n";
    return 2;
  }
  SignInSettings sign_in;
  if (auto mode = ParseAuthMode(options.auth)) {
    sign_in.mode = *mode;
  } else {
    std::cerr << "korimba serve: --auth wants password, proxy or pick, not \"" << options.auth
              << "\"\n";
    return 2;
  }
  try {
    sign_in.proxies = TrustedProxies::Parse(options.trusted_proxy);
  } catch (const std::invalid_argument& e) {
    std::cerr << "korimba serve: --trusted-proxy: " << e.what() << "\n";
    return 2;
  }
  sign_in.header = options.auth_header;
  if (sign_in.mode == AuthMode::kProxy && (sign_in.proxies.empty() || sign_in.header.empty())) {
    std::cerr << "korimba serve: --auth proxy needs --trusted-proxy (the proxy's address) and "
                 "--auth-header\n";
    return 2;
  }

  std::shared_ptr<RunningClock> test_clock;
  if (!options.test_clock.empty()) {
    auto start = ParseFormDate(options.test_clock);
    if (!start) {
      std::cerr << "korimba serve: --test-clock wants a local time such as 2026-03-02 09:00\n";
      return 2;
    }
    test_clock = std::make_shared<RunningClock>(*start);
  }

  std::error_code ec;
  std::filesystem::create_directories(options.attachments, ec);
  if (ec) {
    std::cerr << "korimba serve: cannot create the attachments directory " << options.attachments
              << ": " << ec.message() << "\n";
    return 1;
  }
  // The component joins WorkPath and the message number with no separator.
  std::string work_path =
      std::filesystem::absolute(options.attachments).lexically_normal().string();
  if (work_path.empty() || work_path.back() != '/') work_path += '/';

  std::vector<std::shared_ptr<Connection>> connections;
  try {
    for (int i = 0; i < PoolSize(options); ++i) connections.push_back(OpenConnection(options.db));
    EnsureSchema(*connections.front());
    SayWhatIsMissing(*connections.front(), sign_in.mode, std::cout);
  } catch (const AutomationError& e) {
    std::cerr << "korimba serve: cannot open the database " << MaskSecrets(options.db) << ": "
              << MaskSecrets(e.description()) << "\n";
    return 1;
  }

  // Signals are taken by one thread that stops the server; every other
  // thread (the server's pool included) inherits the blocked mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  const auto pool_wait =
      std::chrono::milliseconds(static_cast<int64_t>(std::max(0.0, options.pool_wait) * 1000));
  Site site(std::make_unique<ConnectionPool>(std::move(connections), pool_wait,
                                             DatabaseUpkeep(options.db)),
            work_path);
  site.set_sign_in(std::move(sign_in));
  if (std::string error; !UseSharedState(site, options.state, &error)) {
    std::cerr << "korimba serve: " << error << "\n";
    return 2;
  }
  site.events().set_settings(LiveStreamSettings(options));
  site.set_feed_keys(std::make_shared<FeedKeys>(
      std::filesystem::absolute(options.feed_key.empty() ? DefaultFeedKeyPath(options.db)
                                                         : options.feed_key)
          .string()));
  if (test_clock) {
    SetComponentClock(test_clock);
    std::cout << "Test clock: the component clock starts at " << options.test_clock << std::endl;
  }
  if (site.sign_in().mode == AuthMode::kPick) {
    std::cout << "Sign-in: pick (anyone may choose to be any person; for demonstrations only)\n";
  }
  LimitedServer server(options.limits);
  socket_t listening = INVALID_SOCKET;
  TuneServer(server, [&listening](socket_t sock) { listening = sock; });
  RegisterSite(server, site);
  try {
    InstallAccessLog(server, site, std::make_shared<AccessLog>(options.access_log));
  } catch (const std::runtime_error& e) {
    std::cerr << "korimba serve: " << e.what() << "\n";
    return 1;
  }

  if (port == 0) {
    port = server.bind_to_any_port(host);
    if (port < 0) port = 0;
  } else if (!server.bind_to_port(host, port)) {
    port = 0;
  }
  if (port == 0) {
    std::cerr << "korimba serve: cannot listen on " << options.listen << "\n";
    return 1;
  }
  // The library listens with a queue of 5 connections not yet accepted:
  // when many kept-alive connections reach their request limit and their
  // clients reconnect at once, the connections past the fifth are dropped
  // and each waits a second for the retry of its SYN. Listening again on the
  // bound socket deepens the queue (the kernel caps it at somaxconn).
  if (listening != INVALID_SOCKET) ::listen(listening, kListenBacklog);
  std::string shown_host = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  std::cout << "Korimba pages at http://" << shown_host << ":" << port << "/" << std::endl;

  // On SIGTERM or SIGINT the server stops accepting and the requests in
  // flight finish; if they take longer than --shutdown-wait the process ends
  // anyway, so that a stuck request cannot keep a stopped service alive.
  std::atomic<bool> finished{false};
  const auto shutdown_wait =
      std::chrono::milliseconds(static_cast<int64_t>(std::max(0.0, options.shutdown_wait) * 1000));
  std::thread stopper([&server, &finished, signals, shutdown_wait] {
    int received = 0;
    sigwait(&signals, &received);
    server.stop();
    const auto until = std::chrono::steady_clock::now() + shutdown_wait;
    while (!finished && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!finished) {
      std::cerr << "korimba serve: requests still in flight after the shutdown wait; stopping"
                << std::endl;
      std::_Exit(0);
    }
  });
  server.listen_after_bind();
  finished = true;
  // listen_after_bind also returns when the socket fails; wake the stopper.
  pthread_kill(stopper.native_handle(), SIGTERM);
  stopper.join();
  std::cout << "Korimba pages stopped." << std::endl;
  return 0;
}

PoolUpkeep DatabaseUpkeep(const std::string& db) {
  PoolUpkeep upkeep;
  if (db.find(":memory:") != std::string::npos) return upkeep;
  upkeep.open = [db] { return OpenConnection(db); };
  upkeep.probe = [](Connection& conn) {
    // Reads of a replaced file would still come from the old one.
    if (auto* file = dynamic_cast<SqliteConnection*>(&conn)) file->CheckFileBeforeWrite();
    conn.Query("select 1");
  };
  return upkeep;
}

}  // namespace korimba::web
