// SentBy calls one method of a class by name, as a page does, for a signed-in
// person, on a scratch embedded in-memory database, and returns the texts of
// the statements the call sent, in order. Database tests run those texts on
// their own database, so they check the statements the component really
// builds rather than hand-made copies. The scratch database is empty (a call
// that reads finds nothing, one that writes changes nothing the test sees;
// a call the database fails on still gives the statements it sent)
// and goes with the call, as does the scratch WorkPath directory a post with
// an attachment writes its file into. It reads the component clock as
// installed. One thread.
#ifndef KORIMBA_TESTS_SUPPORT_SENT_BY_H_
#define KORIMBA_TESTS_SUPPORT_SENT_BY_H_

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "classes/registry.h"
#include "db/open.h"
#include "frame/dispatch.h"
#include "frame/error.h"
#include "host/page_host.h"
#include "tests/support/recording_connection.h"
#include "tests/support/scratch_dir.h"

namespace korimba::testing {

// `prog_id` as CreateObject takes it ("Korimba.Message"); `person` is the
// session's PersonID, which several methods read instead of an argument.
inline std::vector<std::string> SentBy(const std::string& prog_id, const std::string& method,
                                       std::vector<Variant> args, int person = 7) {
  auto conn = std::make_shared<RecordingConnection>(OpenConnection("sqlite::memory:"));
  auto session = std::make_shared<InMemorySession>();
  session->SetValue("PersonID", Variant::I4(person));
  Page page(std::make_shared<InMemoryApplication>(), session,
            std::map<std::string, std::string>{{"url", "/sent_by.asp"}});
  std::shared_ptr<DispatchObject> object = CreateObject(prog_id);
  object->Call("OnStartPage", std::vector<Variant>{Variant::Object(page.context())});
  object->Call("SetConn", std::vector<Variant>{Variant::Object(conn)});
  const ScratchDir dir("korimba_sent_by");
  if (prog_id == "Korimba.Message") {
    object->Put("WorkPath", Variant::Text(dir.path().string() + "/"));
  }
  conn->Take();
  try {
    object->Call(method, std::move(args));
  } catch (const AutomationError&) {
    // The scratch database refused a statement (a value out of range, a
    // text too long): it was still sent, and the test runs it to see why.
  }
  std::vector<std::string> texts = conn->Take();
  object->Call("OnEndPage", std::vector<Variant>{});
  page.End();
  return texts;
}

// Statement `nth` (from 0) of those one call sent; a call that sent fewer
// fails the test and gives "".
inline std::string NthSent(const std::string& prog_id, const std::string& method,
                           std::vector<Variant> args, size_t nth = 0, int person = 7) {
  const std::vector<std::string> texts = SentBy(prog_id, method, std::move(args), person);
  EXPECT_LT(nth, texts.size()) << prog_id << "." << method << " sent " << texts.size();
  return nth < texts.size() ? texts[nth] : "";
}

}  // namespace korimba::testing

#endif  // KORIMBA_TESTS_SUPPORT_SENT_BY_H_
