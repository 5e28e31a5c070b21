// Multipart forms as clients really send them: names given as filename*=,
// unquoted names, quotes inside quotes; and bodies that are not multipart.
#include "web/multipart_form.h"

#include <gtest/gtest.h>

#include "frame/value_ops.h"
#include "tests/web/test_site.h"

namespace korimba::web {
namespace {

using testing::TestSite;
using testing::Visitor;

std::string Body(const std::vector<std::pair<std::string, std::string>>& parts) {
  std::string body;
  for (const auto& [disposition, content] : parts) {
    body += "--XyZ\r\nContent-Disposition: " + disposition + "\r\n\r\n" + content + "\r\n";
  }
  return body + "--XyZ--\r\n";
}

TEST(MultipartForm, NamesAreReadInEveryFormClientsUse) {
  struct Case {
    std::string disposition;
    std::string name, filename;
  };
  const std::vector<Case> cases = {
      {"form-data; name=\"file\"; filename=\"a.txt\"", "file", "a.txt"},
      {"form-data; name=file; filename=a.txt", "file", "a.txt"},
      {"form-data; filename=\"b.txt\"; name=\"file\"", "file", "b.txt"},
      {"form-data; name=\"file\"; filename*=UTF-8''%E6%8A%A5%20Q.txt", "file", "报 Q.txt"},
      {"form-data; name=\"file\"; filename=\"q.txt\"; filename*=utf-8'zh'%E6%8A%A5.txt", "file",
       "报.txt"},
      {"form-data; name=\"file\"; filename=\"say \\\"hi\\\".txt\"", "file", "say \"hi\".txt"},
      {"form-data; name=\"file\"; filename=\"报告 \"Q1\".bin\"", "file", "报告 \"Q1\".bin"},
      {"Form-Data; NAME=\"to\"", "to", ""},
  };
  for (const Case& c : cases) {
    httplib::MultipartFormDataMap parts;
    std::string error;
    ASSERT_TRUE(ParseMultipart(Body({{c.disposition, "DATA"}}), "XyZ", 10, &parts, &error))
        << c.disposition << ": " << error;
    ASSERT_EQ(parts.size(), 1u) << c.disposition;
    EXPECT_EQ(parts.begin()->first, c.name) << c.disposition;
    EXPECT_EQ(parts.begin()->second.filename, c.filename) << c.disposition;
    EXPECT_EQ(parts.begin()->second.content, "DATA") << c.disposition;
  }
  EXPECT_EQ(BoundaryOf("multipart/form-data; boundary=\"a b\""), "a b");
  EXPECT_EQ(BoundaryOf("multipart/form-data"), std::nullopt);
}

TEST(MultipartForm, BodiesThatAreNoFormOrTooLargeAreRefused) {
  const std::string three =
      Body({{"form-data; name=a", "1"}, {"form-data; name=b", "2"}, {"form-data; name=c", "3"}});
  const std::vector<std::pair<std::string, const char*>> cases = {
      {three, "too many parts"},
      {"no delimiter at all", "not marked"},
      {"--XyZ\r\nContent-Disposition: form-data; name=a\r\n\r\nunterminated", "ends before"},
  };
  for (const auto& [body, says] : cases) {
    httplib::MultipartFormDataMap parts;
    std::string error;
    EXPECT_FALSE(ParseMultipart(body, "XyZ", 2, &parts, &error)) << says;
    EXPECT_NE(error.find(says), std::string::npos) << error;
  }
}

// Through the pages: an attachment named with filename*= is stored with its
// name instead of being dropped while the post succeeds.
TEST(MultipartForm, AttachmentNamedTheExtendedWayIsKept) {
  TestSite site;
  for (auto [id, name] : {std::pair{1, "Ann"}, {2, "Bo"}}) {
    site.conn().Execute("INSERT INTO HR_Person (PersonID, PersonName) VALUES (" +
                        std::to_string(id) + ", '" + name + "')");
  }
  Visitor ann(site.port());
  ann.SignIn(1);
  ann.Get("/messages?with=2");
  auto sent = ann.PostRaw(
      "/messages/send",
      Body({{"form-data; name=token", ann.token()},
            {"form-data; name=to", "2"},
            {"form-data; name=content", "see file"},
            {"form-data; name=\"file\"; filename*=UTF-8''%E6%8A%A5%E5%91%8A.pdf", "PDF"}}),
      "multipart/form-data; boundary=XyZ");
  ASSERT_TRUE(sent);
  EXPECT_EQ(sent->status, 303) << sent->body;
  ResultTable row = site.conn().Query("SELECT MsgID, MsgFileName FROM DATA_Msg");
  ASSERT_EQ(row.row_count(), 1u);
  EXPECT_EQ(TextForm(row.at(0, 1)), "报告.pdf");
  EXPECT_TRUE(std::filesystem::exists(site.files() / TextForm(row.at(0, 0))));
}

}  // namespace
}  // namespace korimba::web
