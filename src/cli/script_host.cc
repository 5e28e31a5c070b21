#include "cli/script_host.h"

#include <cctype>
#include <istream>
#include <ostream>
#include <span>
#include <utility>
#include <vector>

#include "classes/registry.h"
#include "frame/error.h"

namespace korimba::cli {
namespace {

// Requests the host cannot read are reported with the runtime's "invalid
// procedure call or argument" number; errors of the component keep theirs.
[[noreturn]] void BadRequest(const std::string& what) {
  throw AutomationError(kErrInvalidCall, "Malformed request: " + what);
}

const Json& Field(const Json& request, const char* name) {
  auto it = request.find(name);
  if (it == request.end()) BadRequest(std::string("\"") + name + "\" is missing");
  return *it;
}

const std::string& TextField(const Json& request, const char* name) {
  const Json& value = Field(request, name);
  if (!value.is_string()) BadRequest(std::string("\"") + name + "\" must be a text");
  return value.get_ref<const std::string&>();
}

Json ErrorAnswer(int32_t number, const std::string& description) {
  Json answer = Json::object();
  answer["ok"] = false;
  answer["error"] = {{"number", number}, {"description", description}};
  return answer;
}

// nlohmann's messages start with "[json.exception.parse_error.101] ".
std::string WithoutExceptionTag(const char* what) {
  std::string text = what;
  if (!text.empty() && text[0] == '[') {
    size_t close = text.find("] ");
    if (close != std::string::npos) text.erase(0, close + 2);
  }
  return text;
}

bool IsBlank(std::string_view line) {
  for (char c : line) {
    if (!std::isspace(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

}  // namespace

ScriptHost::ScriptHost(std::shared_ptr<Connection> connection, ScriptHostOptions options)
    : options_(options),
      connection_(std::make_shared<TracingConnection>(std::move(connection))),
      application_(std::make_shared<InMemoryApplication>()) {}

ScriptHost::~ScriptHost() {
  for (auto& [name, named] : objects_) named.page.reset();
  objects_.clear();
}

std::optional<std::string> ScriptHost::HandleLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (IsBlank(line)) return std::nullopt;

  connection_->set_recording(options_.trace);
  connection_->TakeStatements();
  Json answer;
  try {
    Json request;
    try {
      request = ParseJsonLine(line);
    } catch (const Json::parse_error& e) {
      BadRequest(WithoutExceptionTag(e.what()));
    } catch (const JsonTooDeep& e) {
      BadRequest(e.what());
    }
    if (!request.is_object()) BadRequest("a request is one JSON object per line");
    std::optional<Json> result = Dispatch(request);
    answer["ok"] = true;
    if (result) answer["result"] = std::move(*result);
  } catch (const AutomationError& e) {
    answer = ErrorAnswer(e.number(), e.description());
  } catch (const std::exception& e) {
    answer = ErrorAnswer(kErrInvalidCall, WithoutExceptionTag(e.what()));
  }
  if (options_.trace) {
    Json sql = Json::array();
    for (TracingConnection::Statement& s : connection_->TakeStatements()) {
      sql.push_back({{"via", std::move(s.via)}, {"text", std::move(s.text)}});
    }
    answer["sql"] = std::move(sql);
  }
  connection_->set_recording(false);
  // Text from the database that is not valid UTF-8 is shown with U+FFFD
  // rather than failing the answer.
  return answer.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void ScriptHost::Run(std::istream& in, std::ostream& out) {
  std::string line;
  while (std::getline(in, line)) {
    if (std::optional<std::string> answer = HandleLine(line)) {
      out << *answer << '\n' << std::flush;
    }
  }
}

std::optional<Json> ScriptHost::Dispatch(const Json& request) {
  using Handler = std::optional<Json> (ScriptHost::*)(const Json&);
  static const std::pair<std::string_view, Handler> kOps[] = {
      {"create", &ScriptHost::Create},   {"drop", &ScriptHost::Drop},
      {"session", &ScriptHost::Session}, {"start", &ScriptHost::Start},
      {"end", &ScriptHost::End},         {"connect", &ScriptHost::Connect},
      {"call", &ScriptHost::Call},       {"put", &ScriptHost::Put},
      {"get", &ScriptHost::Get},         {"sql", &ScriptHost::Sql},
      {"clock", &ScriptHost::SetClock},
  };
  const std::string& op = TextField(request, "op");
  for (const auto& [name, handler] : kOps) {
    if (name == op) return (this->*handler)(request);
  }
  BadRequest("unknown op \"" + op +
             "\" (ops: create, drop, session, start, end, connect, call, put, get, sql, clock)");
}

ScriptHost::Named& ScriptHost::Object(const Json& request) {
  const std::string& name = TextField(request, "obj");
  auto it = objects_.find(name);
  if (it == objects_.end()) ThrowObjectNotSet("no object named \"" + name + "\" in this run");
  return it->second;
}

std::shared_ptr<InMemorySession> ScriptHost::SessionNamed(const std::string& name) {
  std::shared_ptr<InMemorySession>& session = sessions_[name];
  if (!session) session = std::make_shared<InMemorySession>();
  return session;
}

std::optional<Json> ScriptHost::Create(const Json& request) {
  const std::string& name = TextField(request, "obj");
  std::shared_ptr<DispatchObject> object = CreateObject(TextField(request, "progid"));
  // A name used again drops the object it named (ending its page).
  objects_[name] = Named{std::move(object), nullptr};
  return std::nullopt;
}

std::optional<Json> ScriptHost::Drop(const Json& request) {
  Object(request);  // fails for an unknown name
  objects_.erase(request["obj"].get<std::string>());
  return std::nullopt;
}

std::optional<Json> ScriptHost::Session(const Json& request) {
  const std::string& name = TextField(request, "session");
  // Every value is read before any is stored, so a bad one stores nothing.
  std::vector<std::pair<std::string, Variant>> values;
  if (auto it = request.find("values"); it != request.end()) {
    if (!it->is_object()) BadRequest("\"values\" must be an object of name: value");
    for (const auto& [key, value] : it->items()) values.emplace_back(key, JsonToVariant(value));
  }
  std::shared_ptr<InMemorySession> session = SessionNamed(name);
  for (auto& [key, value] : values) session->SetValue(key, std::move(value));
  return std::nullopt;
}

std::optional<Json> ScriptHost::Start(const Json& request) {
  Named& named = Object(request);
  std::string url;
  if (auto it = request.find("url"); it != request.end()) {
    if (!it->is_string()) BadRequest("\"url\" must be a text");
    url = it->get<std::string>();
  }
  auto page = std::make_unique<Page>(application_, SessionNamed(TextField(request, "session")),
                                     std::map<std::string, std::string>{{"url", url}});
  const Variant context = Variant::Object(page->context());
  // The page of an earlier start ends once the new one is attached (when
  // `previous` goes out of scope), whether or not OnStartPage succeeds.
  std::unique_ptr<Page> previous = std::exchange(named.page, std::move(page));
  named.object->Call("OnStartPage", std::span(&context, 1));
  return std::nullopt;
}

std::optional<Json> ScriptHost::End(const Json& request) {
  Named& named = Object(request);
  // The page ends even when OnEndPage fails.
  std::unique_ptr<Page> page = std::move(named.page);
  named.object->Call("OnEndPage", {});
  return std::nullopt;
}

std::optional<Json> ScriptHost::Connect(const Json& request) {
  Named& named = Object(request);
  const Variant connection = Variant::Object(connection_);
  named.object->Call("SetConn", std::span(&connection, 1));
  return std::nullopt;
}

std::optional<Json> ScriptHost::Call(const Json& request) {
  Named& named = Object(request);
  const std::string& method = TextField(request, "method");
  std::vector<Variant> args;
  if (auto it = request.find("args"); it != request.end()) {
    if (!it->is_array()) BadRequest("\"args\" must be a list of values");
    for (const Json& arg : *it) args.push_back(JsonToVariant(arg));
  }
  Variant result = named.object->Call(method, args);
  // Methods declared without a result (SetConn) answer with none.
  const MethodSpec* entry = named.object->Interface().Find(method);
  if (entry != nullptr && entry->result == ResultKind::kNone) return std::nullopt;
  return VariantToJson(result);
}

std::optional<Json> ScriptHost::Put(const Json& request) {
  Named& named = Object(request);
  const std::string& property = TextField(request, "property");
  named.object->Put(property, JsonToVariant(Field(request, "value")));
  return std::nullopt;
}

std::optional<Json> ScriptHost::Get(const Json& request) {
  const std::string& name = TextField(request, "name");
  if (auto it = request.find("application"); it != request.end() && *it == true) {
    return VariantToJson(application_->Value(name));
  }
  const std::string& session = TextField(request, "session");
  auto it = sessions_.find(session);
  if (it == sessions_.end()) ThrowObjectNotSet("no session named \"" + session + "\" in this run");
  return VariantToJson(it->second->Value(name));
}

std::optional<Json> ScriptHost::Sql(const Json& request) {
  // Run on the inner connection: the trace shows the component's statements.
  ResultTable table = connection_->inner().Execute(TextField(request, "text"));
  if (table.columns.empty()) return std::nullopt;
  Json rows = Json::array();
  for (size_t r = 0; r < table.row_count(); ++r) {
    Json row = Json::array();
    for (size_t c = 0; c < table.column_count(); ++c) row.push_back(VariantToJson(table.at(r, c)));
    rows.push_back(std::move(row));
  }
  Json result = Json::object();
  result["columns"] = table.columns;
  result["rows"] = std::move(rows);
  return result;
}

std::optional<Json> ScriptHost::SetClock(const Json& request) {
  const bool has_set = request.contains("set");
  const bool has_advance = request.contains("advance");
  const bool has_real = request.contains("real");
  if (has_set + has_advance + has_real != 1) {
    BadRequest("clock needs exactly one of \"set\", \"advance\", \"real\"");
  }
  if (has_set) {
    const Json& when = request["set"];
    if (!when.is_string()) BadRequest("clock \"set\" must be a text yyyy-mm-dd hh:mm:ss");
    Json tagged = Json::object();
    tagged["$date"] = when;
    clock_->Set(*JsonToVariant(tagged).date());
  } else if (has_advance) {
    const Json& seconds = request["advance"];
    if (!seconds.is_number()) BadRequest("clock \"advance\" must be a number of seconds");
    clock_->Advance(seconds.get<double>());
  } else {
    if (request["real"] != true) BadRequest("clock \"real\" must be true");
    clock_->UseReal();
  }
  return std::nullopt;
}

}  // namespace korimba::cli
