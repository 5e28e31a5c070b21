#include "cli/serve_config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace korimba::cli {
namespace {

class ServeConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("serve_config_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string File(const std::string& text) {
    std::string path = (dir_ / "korimba.toml").string();
    std::ofstream(path) << text;
    return path;
  }
  ServeSources Sources(std::map<std::string, std::string> env) {
    ServeSources sources;
    sources.environment = [env](const std::string& name) -> std::optional<std::string> {
      auto it = env.find(name);
      if (it == env.end()) return std::nullopt;
      return it->second;
    };
    return sources;
  }

  std::filesystem::path dir_;
};

TEST_F(ServeConfigTest, CommandLineBeatsEnvironmentBeatsFileBeatsDefault) {
  ServeSources sources = Sources({{"KORIMBA_LISTEN", "127.0.0.1:9002"},
                                  {"KORIMBA_POOL_SIZE", "6"},
                                  {"KORIMBA_AUTH", "proxy"}});
  sources.config_file = File(
      "db = \"sqlite:/var/lib/korimba/office.db\"\n"
      "listen = \"127.0.0.1:9001\"\n"
      "pool-size = 3\n"
      "pool-wait = 2.5\n"
      "trusted-proxy = [\"10.0.0.1\", \"::1\"]\n");
  sources.command_line["listen"] = {"127.0.0.1:9003"};
  sources.command_line["auth"] = {"pick"};

  web::ServeOptions options = ResolveServeOptions(sources);
  EXPECT_EQ(options.db, "sqlite:/var/lib/korimba/office.db");  // file only
  EXPECT_EQ(options.listen, "127.0.0.1:9003");                 // all three
  EXPECT_EQ(options.pool_size, 6);                             // env over file
  EXPECT_EQ(options.auth, "pick");                             // command line over env
  EXPECT_DOUBLE_EQ(options.pool_wait, 2.5);
  EXPECT_EQ(options.trusted_proxy, (std::vector<std::string>{"10.0.0.1", "::1"}));
  EXPECT_EQ(options.attachments, "attachments");  // nobody set it
  EXPECT_EQ(options.state, "memory");             // nobody set it either
}

TEST_F(ServeConfigTest, ConfigFileMayComeFromTheEnvironmentAndListsSplitAtCommas) {
  ServeSources sources = Sources({{"KORIMBA_CONFIG", File("attachments = \"/srv/files\"\n")},
                                  {"KORIMBA_TRUSTED_PROXY", "127.0.0.1, 192.0.2.0/24"}});
  sources.command_line["access-log"] = {"/var/log/korimba.log"};
  web::ServeOptions options = ResolveServeOptions(sources);
  EXPECT_EQ(options.attachments, "/srv/files");
  EXPECT_EQ(options.trusted_proxy, (std::vector<std::string>{"127.0.0.1", "192.0.2.0/24"}));
  EXPECT_EQ(options.access_log, "/var/log/korimba.log");
}

TEST_F(ServeConfigTest, MistakesNameTheirSource) {
  struct Case {
    std::string file;
    std::map<std::string, std::string> env;
    std::string expected;  // part of the message
  };
  const Case cases[] = {
      {"lisen = \"x\"\n", {}, "unknown setting \"lisen\""},
      {"pool-size = \"four\"\n", {}, "--pool-size: \"four\" is not a whole number"},
      {"listen = [1, \n", {}, "korimba.toml:"},
      {"", {{"KORIMBA_POOL_WAIT", "-1"}}, "KORIMBA_POOL_WAIT: --pool-wait"},
      {"", {{"KORIMBA_POOL_SIZE", "2x"}}, "KORIMBA_POOL_SIZE"},
  };
  for (const Case& c : cases) {
    ServeSources sources = Sources(c.env);
    if (!c.file.empty()) sources.config_file = File(c.file);
    try {
      ResolveServeOptions(sources);
      ADD_FAILURE() << "accepted: " << c.file;
    } catch (const web::OptionError& e) {
      EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
    }
  }
}

TEST_F(ServeConfigTest, MissingFileIsAnError) {
  ServeSources sources = Sources({});
  sources.config_file = (dir_ / "absent.toml").string();
  EXPECT_THROW(ResolveServeOptions(sources), web::OptionError);
}

}  // namespace
}  // namespace korimba::cli
