// RecordingConnection hands every statement to the connection it wraps and
// keeps its text, so that tests check what the component really sends (its
// query plans, the spans the embedded database reads) rather than a copy of
// it. It shares ownership of the wrapped connection. One thread.
#ifndef KORIMBA_TESTS_SUPPORT_RECORDING_CONNECTION_H_
#define KORIMBA_TESTS_SUPPORT_RECORDING_CONNECTION_H_

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "frame/connection.h"

namespace korimba::testing {

class RecordingConnection final : public Connection {
 public:
  explicit RecordingConnection(std::shared_ptr<Connection> inner) : inner_(std::move(inner)) {}

  ResultTable Execute(std::string_view statement) override {
    texts_.emplace_back(statement);
    return inner_->Execute(statement);
  }
  ResultTable Query(std::string_view statement) override {
    texts_.emplace_back(statement);
    return inner_->Query(statement);
  }
  // A connection without paged reads answers nullptr and the caller asks
  // Query next, which records the text then: it is kept once either way.
  std::unique_ptr<PagedResult> QueryPaged(std::string_view statement) override {
    std::unique_ptr<PagedResult> paged = inner_->QueryPaged(statement);
    if (paged) texts_.emplace_back(statement);
    return paged;
  }

  // The texts sent since the last Take, in order.
  std::vector<std::string> Take() { return std::exchange(texts_, {}); }

 private:
  std::shared_ptr<Connection> inner_;
  std::vector<std::string> texts_;
};

}  // namespace korimba::testing

#endif  // KORIMBA_TESTS_SUPPORT_RECORDING_CONNECTION_H_
