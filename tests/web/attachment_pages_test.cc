// Attachments through the pages: a group message takes each person once, a
// post whose file cannot be stored stores nothing and shows no server path,
// and deleting a message removes its file.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "frame/value_ops.h"
#include "tests/web/test_site.h"

namespace korimba::web {
namespace {

using testing::TestSite;
using testing::Visitor;

class AttachmentPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto [id, name] : {std::pair{1, "Ann"}, {2, "Bo"}, {3, "Cy"}}) {
      site_.conn().Execute("INSERT INTO HR_Person (PersonID, PersonName) VALUES (" +
                           std::to_string(id) + ", '" + name + "')");
    }
    ann_.SignIn(1);
  }
  std::string Scalar(const std::string& sql) {
    ResultTable t = site_.conn().Query(sql);
    return t.row_count() == 0 ? "none" : TextForm(t.at(0, 0));
  }
  httplib::Result PostFile(const std::string& path, httplib::MultipartFormDataItems recipients) {
    recipients.push_back({"content", "see file", "", ""});
    recipients.push_back({"file", "abc", "a.bin", "application/octet-stream"});
    return ann_.PostMultipart(path, recipients);
  }

  TestSite site_;
  Visitor ann_{site_.port()};
};

TEST_F(AttachmentPagesTest, GroupMessageGoesToEachPersonOnce) {
  ann_.Get("/messages/group");
  auto sent = PostFile(
      "/messages/group",
      {{"to", "2", "", ""}, {"to", "2", "", ""}, {"to", "3", "", ""}, {"to", "2", "", ""}});
  ASSERT_EQ(sent->status, 303) << sent->body;
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM DATA_Msg WHERE PersonID = 2"), "1");
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM DATA_Msg WHERE PersonID = 3"), "1");
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(site_.files())) {
    ++files;
  }
  EXPECT_EQ(files, 2u);
}

TEST_F(AttachmentPagesTest, FileThatCannotBeStoredStoresNothingAndShowsNoPath) {
  ann_.Get("/messages?with=2");
  std::filesystem::remove_all(site_.files());
  ::testing::internal::CaptureStderr();
  auto one = PostFile("/messages/send", {{"to", "2", "", ""}});
  const std::string log = ::testing::internal::GetCapturedStderr();
  auto group = PostFile("/messages/group", {{"to", "2", "", ""}, {"to", "3", "", ""}});
  for (const httplib::Result* r : {&one, &group}) {
    ASSERT_TRUE(*r);
    EXPECT_EQ((*r)->status, 500);
    const std::string& body = (*r)->body;
    EXPECT_NE(body.find("could not be stored"), std::string::npos) << body;
    EXPECT_NE(body.find("No such file or directory"), std::string::npos) << body;
    EXPECT_EQ(body.find(site_.files().string()), std::string::npos) << body;
  }
  EXPECT_NE(one->body.find("not sent, and nothing of it was stored"), std::string::npos)
      << one->body;
  EXPECT_NE(group->body.find("sent to nobody"), std::string::npos) << group->body;
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM DATA_Msg"), "0");
  // The page shows a short reference; the log repeats it with the reason.
  std::smatch m;
  const std::string body = one->body;
  ASSERT_TRUE(std::regex_search(body, m, std::regex(R"(Error reference ([0-9a-f]{8}))"))) << body;
  EXPECT_NE(log.find("error " + m[1].str() + " on POST /messages/send: "), std::string::npos)
      << log;
}

TEST_F(AttachmentPagesTest, DeletingAMessageRemovesItsFile) {
  ann_.Get("/messages?with=2");
  ASSERT_EQ(PostFile("/messages/send", {{"to", "2", "", ""}})->status, 303);
  const std::string id = Scalar("SELECT MAX(MsgID) FROM DATA_Msg");
  ASSERT_TRUE(std::filesystem::exists(site_.files() / id));
  EXPECT_EQ(ann_.Post("/messages/delete", {{"id", id}})->status, 303);
  EXPECT_FALSE(std::filesystem::exists(site_.files() / id));
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM DATA_Msg"), "0");
}

}  // namespace
}  // namespace korimba::web
