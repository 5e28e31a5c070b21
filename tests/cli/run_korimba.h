// Test support for running the built korimba program: a temporary folder per
// test and Run(ARGS, INPUT), which returns what the program printed (its
// standard output alone with RunStdout) and keeps its exit code. Hashing cost is lowered for every
// program these tests start (KORIMBA_PASSWORD_COST=minimum), so demo offices are quick to make.
#ifndef KORIMBA_TESTS_CLI_RUN_KORIMBA_H_
#define KORIMBA_TESTS_CLI_RUN_KORIMBA_H_

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace korimba::testing {

inline std::string KorimbaProgram() {
  const char* dir = std::getenv("KORIMBA_BINARY_DIR");
  return std::string(dir != nullptr ? dir : KORIMBA_TEST_BINARY_DIR) + "/korimba";
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KORIMBA_PASSWORD_COST", "minimum", 1);
    std::string pattern = (std::filesystem::temp_directory_path() / "korimba-prog-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Runs `korimba ARGS < INPUT` with stderr joined to stdout.
  std::string Run(const std::string& args, const std::string& input = "") {
    return RunProgram(args, input, " 2>&1");
  }
  // Runs `korimba ARGS < INPUT`; stdout only, stderr goes to the test's own.
  std::string RunStdout(const std::string& args, const std::string& input = "") {
    return RunProgram(args, input, "");
  }
  std::string Db(const std::string& name = "office.db") const {
    return "sqlite:" + (dir_ / name).string();
  }

  std::filesystem::path dir_;
  int exit_code_ = -1;

 private:
  std::string RunProgram(const std::string& args, const std::string& input, const char* redirect) {
    const std::filesystem::path in = dir_ / "stdin.txt";
    std::ofstream(in) << input;
    const std::string command =
        KorimbaProgram() + " " + args + " < '" + in.string() + "'" + redirect;
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr) << command;
    if (pipe == nullptr) return {};
    std::string out;
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    const int status = pclose(pipe);
    exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
  }
};

}  // namespace korimba::testing

#endif  // KORIMBA_TESTS_CLI_RUN_KORIMBA_H_
