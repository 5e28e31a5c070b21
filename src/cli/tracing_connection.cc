#include "cli/tracing_connection.h"

#include <utility>

namespace korimba::cli {

TracingConnection::TracingConnection(std::shared_ptr<Connection> inner)
    : inner_(std::move(inner)) {}

ResultTable TracingConnection::Execute(std::string_view statement) {
  Note("execute", statement);
  return inner_->Execute(statement);
}

ResultTable TracingConnection::Query(std::string_view statement) {
  Note("open", statement);
  return inner_->Query(statement);
}

std::vector<TracingConnection::Statement> TracingConnection::TakeStatements() {
  return std::exchange(statements_, {});
}

void TracingConnection::Note(const char* via, std::string_view statement) {
  if (recording_) statements_.push_back({via, std::string(statement)});
}

}  // namespace korimba::cli
