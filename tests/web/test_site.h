// Test support for the page host: TestSite runs the real pages on 127.0.0.1
// (any free port) over a fresh embedded database file and attachments
// directory in a temporary folder, and Visitor is one browser: it keeps its
// session cookie and the form token of the last page it loaded.
#ifndef KORIMBA_TESTS_WEB_TEST_SITE_H_
#define KORIMBA_TESTS_WEB_TEST_SITE_H_

#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <utility>

#include "db/open.h"
#include "web/limited_server.h"
#include "web/site.h"

namespace korimba::web::testing {

// Whether the answer came and its body holds `text`.
inline bool Has(const httplib::Result& r, const std::string& text) {
  return r && r->body.find(text) != std::string::npos;
}

class TestSite {
 public:
  explicit TestSite(int connections = 2,
                    std::chrono::milliseconds pool_wait = std::chrono::minutes(1)) {
    dir_ = std::filesystem::temp_directory_path() /
           ("korimba_web_test_" + RandomHexId().substr(0, 12));
    std::filesystem::create_directories(dir_ / "files");
    const std::string db = "sqlite:" + (dir_ / "test.db").string();
    std::vector<std::shared_ptr<Connection>> pool;
    for (int i = 0; i < connections; ++i) pool.push_back(OpenConnection(db));
    EnsureSchema(*pool.front());
    conn_ = OpenConnection(db);
    site_ = std::make_unique<Site>(std::make_unique<ConnectionPool>(std::move(pool), pool_wait),
                                   (dir_ / "files").string() + "/");
    site_->set_feed_keys(std::make_shared<FeedKeys>((dir_ / "test.db.feed-key").string()));
    RegisterSite(server_, *site_);
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~TestSite() {
    server_.stop();
    thread_.join();
    site_.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  int port() const { return port_; }
  // For hooks set before the first request (an access log, say).
  httplib::Server& server() { return server_; }
  Site& site() { return *site_; }
  // A connection of its own for setting up and checking data.
  Connection& conn() { return *conn_; }
  const std::shared_ptr<Connection>& shared_conn() const { return conn_; }
  std::filesystem::path files() const { return dir_ / "files"; }
  std::filesystem::path dir() const { return dir_; }

 private:
  std::filesystem::path dir_;
  std::shared_ptr<Connection> conn_;
  std::unique_ptr<Site> site_;
  LimitedServer server_;
  int port_ = 0;
  std::thread thread_;
};

class Visitor {
 public:
  // Visitors read English unless a test asks for another Accept-Language.
  explicit Visitor(int port, std::string accept_language = "en")
      : client_("127.0.0.1", port), accept_language_(std::move(accept_language)) {
    client_.set_read_timeout(10, 0);
  }

  httplib::Result Get(const std::string& path) { return Keep(client_.Get(path, Headers())); }
  // Posts a form; the page's token is added unless `with_token` is false.
  httplib::Result Post(const std::string& path, httplib::Params params, bool with_token = true) {
    if (with_token) params.emplace("token", token_);
    return Keep(client_.Post(path, Headers(), params));
  }
  httplib::Result PostMultipart(const std::string& path, httplib::MultipartFormDataItems items) {
    items.push_back({"token", token_, "", ""});
    return Keep(client_.Post(path, Headers(), items));
  }
  // Posts a body as given (the token is the caller's to include).
  httplib::Result PostRaw(const std::string& path, const std::string& body,
                          const std::string& content_type) {
    return Keep(client_.Post(path, Headers(), body, content_type));
  }
  void SignIn(int person) {
    Get("/signin");
    Post("/signin", {{"person", std::to_string(person)}});
    Get("/");
  }
  const std::string& token() const { return token_; }
  // The session cookie ("korimba_session=..."), for a client of the test's own.
  const std::string& cookie() const { return cookie_; }

 private:
  httplib::Headers Headers() const {
    httplib::Headers headers;
    if (!accept_language_.empty()) headers.emplace("Accept-Language", accept_language_);
    if (!cookie_.empty()) headers.emplace("Cookie", cookie_);
    return headers;
  }
  httplib::Result Keep(httplib::Result result) {
    if (!result) return result;
    std::string set = result->get_header_value("Set-Cookie");
    if (!set.empty()) cookie_ = set.substr(0, set.find(';'));
    static const std::regex kToken(R"re(name="token" value="([0-9a-f]+)")re");
    std::smatch match;
    if (std::regex_search(result->body, match, kToken)) token_ = match[1];
    return result;
  }

  httplib::Client client_;
  std::string accept_language_;
  std::string cookie_;
  std::string token_;
};

}  // namespace korimba::web::testing

#endif  // KORIMBA_TESTS_WEB_TEST_SITE_H_
