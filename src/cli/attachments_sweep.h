// `korimba attachments sweep`: removes the attachment files that no message
// owns any more (the component leaves a deleted message's file in place, and
// the retention rule deletes messages without a word), and temporary upload
// files a crashed post left behind. Prints each removed path on `out`, then
// a count; failures on `err`. Called from main on the main thread; safe
// while a server runs on the same database and directory.
#ifndef KORIMBA_CLI_ATTACHMENTS_SWEEP_H_
#define KORIMBA_CLI_ATTACHMENTS_SWEEP_H_

#include <iosfwd>
#include <string>

namespace korimba::cli {

struct SweepOptions {
  std::string db = "sqlite:korimba.db";
  std::string attachments = "attachments";
};

// Returns the process exit code.
int SweepAttachments(const SweepOptions& options, std::ostream& out, std::ostream& err);

}  // namespace korimba::cli

#endif  // KORIMBA_CLI_ATTACHMENTS_SWEEP_H_
