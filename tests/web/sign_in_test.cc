// Signing in to the pages in each mode, through a real server on 127.0.0.1.
#include "web/sign_in.h"

#include <gtest/gtest.h>

#include "tests/web/test_site.h"
#include "web/account_store.h"
#include "web/password_hash.h"

namespace korimba::web {
namespace {

using testing::Visitor;

SignInSettings Settings(AuthMode mode, std::vector<std::string> proxies = {},
                        std::string header = "Remote-User") {
  SignInSettings settings;
  settings.mode = mode;
  settings.header = std::move(header);
  settings.proxies = TrustedProxies::Parse(proxies);
  return settings;
}

class SignInTest : public ::testing::Test {
 protected:
  void Start(SignInSettings settings) {
    dir_ =
        std::filesystem::temp_directory_path() / ("korimba_sign_in_" + RandomHexId().substr(0, 12));
    std::filesystem::create_directories(dir_);
    const std::string db = "sqlite:" + (dir_ / "test.db").string();
    std::vector<std::shared_ptr<Connection>> pool{OpenConnection(db)};
    conn_ = OpenConnection(db);
    conn_->Execute("insert into HR_Person (PersonID, PersonName) values (1, N'Ann'), (2, N'Bo')");
    AccountStore accounts(*conn_);
    accounts.Set("ann", 1, HashPassword("ann-password", HashCost::kMinimum));
    accounts.Set("bo", 2, "");  // proxy only: no password
    site_ = std::make_unique<Site>(std::make_unique<ConnectionPool>(std::move(pool)),
                                   (dir_ / "files").string() + "/", clock_);
    site_->set_sign_in(std::move(settings));
    RegisterSite(server_, *site_);
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  void TearDown() override {
    if (thread_.joinable()) {
      server_.stop();
      thread_.join();
    }
    site_.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  httplib::Result SignIn(Visitor& visitor, const std::string& login, const std::string& password) {
    visitor.Get("/signin");
    return visitor.Post("/signin", {{"login", login}, {"password", password}});
  }
  static bool Has(const httplib::Result& r, const std::string& text) {
    return r && r->body.find(text) != std::string::npos;
  }

  std::shared_ptr<ManualClock> clock_ =
      std::make_shared<ManualClock>(*MakeDate({2024, 3, 5, 9, 0, 0}));
  std::filesystem::path dir_;
  std::shared_ptr<Connection> conn_;
  std::unique_ptr<Site> site_;
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

TEST_F(SignInTest, PasswordSignsInWithAFreshSessionAndRecordsTheTime) {
  Start(Settings(AuthMode::kPassword));
  Visitor ann(port_);
  auto form = ann.Get("/signin");
  EXPECT_TRUE(Has(form, "type=\"password\""));
  EXPECT_FALSE(Has(form, "Demonstration sign-in"));
  const std::string before = ann.token();
  auto done = ann.Post("/signin", {{"login", "ANN"}, {"password", "ann-password"}});
  ASSERT_TRUE(done);
  EXPECT_EQ(done->status, 303);
  auto home = ann.Get("/");
  EXPECT_EQ(home->status, 200);
  EXPECT_TRUE(Has(home, "<span id=\"me\">Ann</span>"));
  EXPECT_NE(ann.token(), before);
  EXPECT_FALSE(AccountStore(*conn_).Find("ann")->last_sign_in.empty());
}

TEST_F(SignInTest, PasswordRefusesWrongOnesAlikeAndSlowsTheGuessing) {
  Start(Settings(AuthMode::kPassword));
  struct Case {
    const char* login;
    const char* password;
  };
  // A wrong password, an unknown login, an account without a password and a
  // pick-mode form all get the same answer.
  const Case cases[] = {{"ann", "wrong"}, {"nobody", "ann-password"}, {"bo", ""}, {"", ""}};
  for (const Case& c : cases) {
    Visitor v(port_);
    v.Get("/signin");
    auto r = v.Post("/signin", {{"login", c.login}, {"password", c.password}, {"person", "1"}});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 401) << c.login;
    EXPECT_TRUE(Has(r, "The login or the password is wrong.")) << c.login;
    EXPECT_EQ(v.Get("/")->status, 303) << "still not signed in: " << c.login;
  }
  // "ann" failed once; two more are free, then even the right password waits.
  Visitor guesser(port_);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(SignIn(guesser, "ann", "guess")->status, 401);
  auto slowed = SignIn(guesser, "ann", "ann-password");
  EXPECT_EQ(slowed->status, 429);
  EXPECT_EQ(slowed->get_header_value("Retry-After"), "1");
  EXPECT_TRUE(Has(slowed, "Try again in 1 second."));
  clock_->Advance(1.5);
  EXPECT_EQ(SignIn(guesser, "ann", "ann-password")->status, 303);
}

TEST_F(SignInTest, AChineseVisitorIsRefusedInChinese) {
  Start(Settings(AuthMode::kPassword));
  Visitor wang(port_, "zh-CN");
  auto form = wang.Get("/signin");
  EXPECT_TRUE(Has(form, "<html lang=\"zh-CN\""));
  for (int i = 0; i < 3; ++i) {
    auto wrong = SignIn(wang, "ann", "wrong");
    EXPECT_EQ(wrong->status, 401);
    EXPECT_TRUE(Has(wrong, "登录名或密码错误。")) << wrong->body;
  }
  clock_->Advance(1.5);
  SignIn(wang, "ann", "wrong");  // the fourth failure waits 2 s
  auto slowed = SignIn(wang, "ann", "ann-password");
  EXPECT_EQ(slowed->status, 429);
  EXPECT_TRUE(Has(slowed, "请在 2 秒后再试。")) << slowed->body;
}

TEST_F(SignInTest, AChineseVisitorOfAProxyOfficeIsRefusedInChinese) {
  Start(Settings(AuthMode::kProxy, {"127.0.0.1"}));
  httplib::Client client("127.0.0.1", port_);
  client.set_default_headers({{"Accept-Language", "zh-CN,zh;q=0.9"}});
  auto missing = client.Get("/");
  EXPECT_EQ(missing->status, 403);
  EXPECT_TRUE(Has(missing, "缺少 Remote-User 请求头")) << missing->body;
  auto unknown = client.Get("/", {{"Remote-User", "carol"}});
  EXPECT_TRUE(Has(unknown, "登录名“carol”在本单位没有账户。")) << unknown->body;
}

TEST_F(SignInTest, ProxyHeaderCountsOnlyFromATrustedAddress) {
  Start(Settings(AuthMode::kProxy, {"192.0.2.1"}, "X-Forwarded-User"));
  httplib::Client client("127.0.0.1", port_);
  client.set_default_headers({{"Accept-Language", "en"}});
  auto r = client.Get("/", {{"X-Forwarded-User", "ann"}});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 403);
  EXPECT_TRUE(Has(r, "did not come through it"));
  EXPECT_EQ(client.Get("/static/style.css")->status, 200);  // static files need no sign-in
}

TEST_F(SignInTest, ProxySignsInTheNamedAccountAndFollowsItsChanges) {
  Start(Settings(AuthMode::kProxy, {"10.0.0.0/8", "127.0.0.1"}));
  httplib::Client client("127.0.0.1", port_);
  client.set_default_headers({{"Accept-Language", "en"}});

  auto missing = client.Get("/");
  EXPECT_EQ(missing->status, 403);
  EXPECT_TRUE(Has(missing, "no Remote-User header"));
  auto unknown = client.Get("/", {{"Remote-User", "carol"}});
  EXPECT_EQ(unknown->status, 403);
  EXPECT_TRUE(Has(unknown, "&quot;carol&quot; has no account"));

  auto bo = client.Get("/", {{"Remote-User", "bo"}, {"X-Forwarded-Proto", "https"}});
  ASSERT_EQ(bo->status, 200);
  EXPECT_TRUE(Has(bo, "<span id=\"me\">Bo</span>"));
  const std::string cookie = bo->get_header_value("Set-Cookie");
  EXPECT_NE(cookie.find("; Secure"), std::string::npos) << cookie;
  const std::string session = cookie.substr(0, cookie.find(';'));

  // The same session with the same login stays; another login gets its own.
  auto again = client.Get("/", {{"Remote-User", "bo"}, {"Cookie", session}});
  EXPECT_TRUE(Has(again, "<span id=\"me\">Bo</span>"));
  EXPECT_FALSE(again->has_header("Set-Cookie"));
  auto ann = client.Get("/", {{"Remote-User", "ann"}, {"Cookie", session}});
  EXPECT_TRUE(Has(ann, "<span id=\"me\">Ann</span>"));
  const std::string renewed = ann->get_header_value("Set-Cookie");
  EXPECT_EQ(renewed.find("; Secure"), std::string::npos) << "plain HTTP: " << renewed;
  EXPECT_NE(renewed.substr(0, renewed.find(';')), session);
}

TEST_F(SignInTest, PickModeSaysSoOnEveryPage) {
  Start(Settings(AuthMode::kPick));
  Visitor ann(port_);
  ann.SignIn(1);
  auto home = ann.Get("/");
  EXPECT_TRUE(Has(home, "<span id=\"me\">Ann</span>"));
  EXPECT_TRUE(Has(home, "Demonstration sign-in"));
  // A forwarded scheme from an address not trusted is ignored.
  httplib::Client client("127.0.0.1", port_);
  auto r = client.Get("/signin", {{"X-Forwarded-Proto", "https"}});
  EXPECT_EQ(r->get_header_value("Set-Cookie").find("Secure"), std::string::npos);
}

}  // namespace
}  // namespace korimba::web
