#include "host/page_host.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "frame/error.h"
#include "frame/value_ops.h"

namespace korimba {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

std::shared_ptr<ApplicationObject> ApplicationOf(Page& page) {
  return std::dynamic_pointer_cast<ApplicationObject>(page.context()->Application());
}

TEST(PageHostTest, NamesMatchWithoutRegardToCase) {
  auto application = std::make_shared<InMemoryApplication>();
  auto session = std::make_shared<InMemorySession>();
  Page page(application, session, {{"URL", "/msg/list.asp"}, {"Remote_Addr", "10.0.0.9"}});
  auto context = page.context();
  auto request = std::dynamic_pointer_cast<RequestObject>(context->Request());
  auto app_view = ApplicationOf(page);
  auto session_view = std::dynamic_pointer_cast<SessionObject>(context->Session());

  session->SetValue("PersonID", Variant::I4(12));
  app_view->SetValue("onlinelist", Variant::Text("list"));
  struct Case {
    Variant got;
    Variant want;
  };
  const Case cases[] = {
      {session_view->Value("personid"), Variant::I4(12)},
      {session_view->Value("PERSONID"), Variant::I4(12)},
      {session_view->Value("PersonName"), Variant()},
      {application->Value("OnlineList"), Variant::Text("list")},
      {app_view->Value("ONLINELIST"), Variant::Text("list")},
      {request->ServerVariable("url"), Variant::Text("/msg/list.asp")},
      {request->ServerVariable("REMOTE_ADDR"), Variant::Text("10.0.0.9")},
      {request->ServerVariable("HTTP_HOST"), Variant()},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(cases[i].got, cases[i].want) << "case " << i << ": " << cases[i].got.DebugString();
  }

  // One value per name whatever its case: the last write wins.
  session->SetValue("personid", Variant::I4(13));
  EXPECT_EQ(session->Value("PersonID"), Variant::I4(13));
}

}  // namespace
}  // namespace korimba
