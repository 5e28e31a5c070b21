#include "cli/attachments_sweep.h"

#include <chrono>
#include <filesystem>
#include <ostream>
#include <set>
#include <vector>

#include "db/open.h"
#include "frame/error.h"
#include "frame/value_ops.h"
#include "message/attachment_store.h"
#include "web/secret_mask.h"

namespace korimba::cli {
namespace {

namespace fs = std::filesystem;

// A temporary upload file this old belongs to no post in flight.
constexpr auto kStaleUpload = std::chrono::hours(1);

bool AllDigits(const std::string& name) {
  return !name.empty() && name.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

int SweepAttachments(const SweepOptions& options, std::ostream& out, std::ostream& err) {
  std::error_code ec;
  // Files are listed before the messages are read: a post places its file
  // only after its row exists, so a file listed here whose row is missing
  // from the later read has really lost its message.
  std::vector<fs::path> numbered, uploads;
  for (fs::directory_iterator it(options.attachments, ec), end; !ec && it != end;
       it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    const std::string name = it->path().filename().string();
    if (AllDigits(name)) {
      numbered.push_back(it->path());
    } else if (name.starts_with(AttachmentStore::kTempMarker) && name.ends_with(".tmp")) {
      uploads.push_back(it->path());
    }
  }
  if (ec) {
    err << "korimba attachments sweep: cannot read " << options.attachments << ": " << ec.message()
        << "\n";
    return 1;
  }

  std::set<std::string> owned;
  try {
    auto conn = OpenConnection(options.db);
    ResultTable ids = conn->Query("SELECT MsgID FROM DATA_Msg WHERE MsgFileName IS NOT NULL");
    for (size_t row = 0; row < ids.row_count(); ++row) owned.insert(TextForm(ids.at(row, 0)));
  } catch (const AutomationError& e) {
    err << "korimba attachments sweep: cannot read the messages: "
        << web::MaskSecrets(e.description()) << "\n";
    return 1;
  }

  int removed = 0, failed = 0;
  auto remove = [&](const fs::path& path) {
    std::error_code remove_ec;
    if (fs::remove(path, remove_ec)) {
      out << "removed " << path.string() << "\n";
      ++removed;
    } else if (remove_ec) {
      err << "korimba attachments sweep: cannot remove " << path.string() << ": "
          << remove_ec.message() << "\n";
      ++failed;
    }
  };
  for (const fs::path& path : numbered) {
    // "007" is no message's name; the store writes plain decimal numbers.
    if (!owned.contains(path.filename().string())) remove(path);
  }
  const auto now = fs::file_time_type::clock::now();
  for (const fs::path& path : uploads) {
    std::error_code time_ec;
    auto written = fs::last_write_time(path, time_ec);
    if (!time_ec && now - written > kStaleUpload) remove(path);
  }
  out << removed << (removed == 1 ? " file" : " files") << " removed\n";
  return failed == 0 ? 0 : 1;
}

}  // namespace korimba::cli
