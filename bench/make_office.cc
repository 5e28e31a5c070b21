// make_office: the large office of the HTTP benchmark, written to one
// embedded database file: the persons and messages of the message benchmarks
// (conversations, group messages, broadcasts) and the plans of the plan
// benchmarks, over the same persons. Person 1 owns every twentieth plan, so
// that their plan list has pages to turn (1,000 plans of 20,000: 100 pages).
// Prints, one per line as KEY=VALUE for the calling script, the file, a
// person person 1 writes with, a group minute of person 1 (or any) and the
// month the plans end in.
//   make_office OUT_FILE [PERSONS [MESSAGES [PLANS]]]
#include <filesystem>
#include <iostream>
#include <string>

#include "bench/support/bench_dir.h"
#include "bench/support/message_data.h"
#include "bench/support/plan_data.h"
#include "bench/support/raw_sqlite.h"
#include "frame/date.h"

namespace korimba::bench {
namespace {

int Main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: make_office OUT_FILE [PERSONS [MESSAGES [PLANS]]]\n";
    return 2;
  }
  const std::string out = argv[1];
  const int32_t persons = argc > 2 ? std::stoi(argv[2]) : 200;
  const int32_t messages = argc > 3 ? std::stoi(argv[3]) : 100000;
  const int32_t plans = argc > 4 ? std::stoi(argv[4]) : 20000;

  const MessageData mail =
      MessageBenchData(MessageDataParams{.messages = messages, .persons = persons}, BenchDir());
  const std::string plan_file =
      PlanDatabase(PlanDataParams{.plans = plans, .persons = persons}, BenchDir());
  std::filesystem::remove(out);
  std::filesystem::copy_file(mail.path, out);
  {
    const RawDatabase db(out, kPlainOpen);
    db.Exec("ATTACH DATABASE '" + plan_file + "' AS p");
    db.Exec("BEGIN");
    db.Exec("DELETE FROM DATA_Plan");
    db.Exec("INSERT INTO DATA_Plan SELECT * FROM p.DATA_Plan");
    db.Exec("UPDATE DATA_Plan SET PersonID = 1 WHERE PlanID % 20 = 0");
    db.Exec("COMMIT");
    db.Exec("DETACH DATABASE p");
    db.Exec("ANALYZE");
  }
  int32_t partner = 2;
  for (const auto& [a, b] : mail.pairs) {
    if (a == 1 || b == 1) {
      partner = a == 1 ? b : a;
      break;
    }
  }
  // Person 1 becomes the sender of the first group message, so that the
  // tracking pages have copies of theirs to show.
  const std::string minute = mail.groups.empty() ? "" : mail.groups.front().minute;
  if (!minute.empty()) {
    const RawDatabase db(out, kPlainOpen);
    db.Exec("UPDATE DATA_Msg SET MsgFromPersonID = 1 WHERE MsgFromPersonID = " +
            std::to_string(mail.groups.front().sender) + " AND substr(msgCreatetime, 1, 16) = '" +
            minute + "' AND MsgContent LIKE '%群发消息%'");
  }
  const CivilDateTime last = SplitDate(PlanDataLastDay());
  char month[16];
  std::snprintf(month, sizeof month, "%04d-%02d-01", last.year, last.month);
  std::cout << "OFFICE=" << out << "\nPARTNER=" << partner << "\nGROUP_MINUTE='" << minute << "'"
            << "\nPLAN_MONTH=" << month << "\n";
  return 0;
}

}  // namespace
}  // namespace korimba::bench

int main(int argc, char** argv) {
  try {
    return korimba::bench::Main(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "make_office: " << e.what() << "\n";
    return 1;
  }
}
