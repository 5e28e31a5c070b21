// FakeConnection is an in-memory Connection for tests that care about the
// statements a method sends rather than about a database: it records every
// statement with the route it came by ("execute" or "query"), and answers each
// with the next queued ResultTable (an empty command result when none is
// queued), or fails with a queued database error. One thread.
#ifndef KORIMBA_TESTS_SUPPORT_FAKE_CONNECTION_H_
#define KORIMBA_TESTS_SUPPORT_FAKE_CONNECTION_H_

#include <deque>
#include <string>
#include <variant>
#include <vector>

#include "frame/connection.h"
#include "frame/error.h"

namespace korimba::testing {

class FakeConnection final : public Connection {
 public:
  struct Sent {
    std::string via;  // "execute" or "query"
    std::string text;
  };

  ResultTable Execute(std::string_view statement) override { return Answer("execute", statement); }
  ResultTable Query(std::string_view statement) override { return Answer("query", statement); }

  void QueueResult(ResultTable table) { answers_.push_back(std::move(table)); }
  void QueueError(std::string message) { answers_.push_back(std::move(message)); }

  const std::vector<Sent>& sent() const { return sent_; }
  // The statement texts only, in order.
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const Sent& s : sent_) out.push_back(s.text);
    return out;
  }

 private:
  ResultTable Answer(const char* via, std::string_view statement) {
    sent_.push_back({via, std::string(statement)});
    if (answers_.empty()) return {};
    auto next = std::move(answers_.front());
    answers_.pop_front();
    if (auto* message = std::get_if<std::string>(&next)) ThrowDatabase(*message);
    return std::get<ResultTable>(std::move(next));
  }

  std::vector<Sent> sent_;
  std::deque<std::variant<ResultTable, std::string>> answers_;
};

}  // namespace korimba::testing

#endif  // KORIMBA_TESTS_SUPPORT_FAKE_CONNECTION_H_
