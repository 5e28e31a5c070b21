// TracingConnection wraps the script host's database connection and, while
// recording, notes every statement that passes through it with the route it
// came by: "execute" for the connection's own Execute, "open" for a result
// set opened on it (Query). The text is noted before it runs, exactly as the
// caller built it, so a statement that fails is still in the trace. The
// wrapper holds one counted reference to the inner connection; one thread.
#ifndef KORIMBA_CLI_TRACING_CONNECTION_H_
#define KORIMBA_CLI_TRACING_CONNECTION_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "frame/connection.h"

namespace korimba::cli {

class TracingConnection final : public Connection {
 public:
  struct Statement {
    std::string via;  // "execute" or "open"
    std::string text;
  };

  explicit TracingConnection(std::shared_ptr<Connection> inner);

  ResultTable Execute(std::string_view statement) override;
  ResultTable Query(std::string_view statement) override;

  // The connection itself, for statements that should not be traced.
  Connection& inner() const { return *inner_; }

  void set_recording(bool recording) { recording_ = recording; }
  // The statements noted since the last call, oldest first.
  std::vector<Statement> TakeStatements();

 private:
  void Note(const char* via, std::string_view statement);

  std::shared_ptr<Connection> inner_;
  bool recording_ = false;
  std::vector<Statement> statements_;
};

}  // namespace korimba::cli

#endif  // KORIMBA_CLI_TRACING_CONNECTION_H_
