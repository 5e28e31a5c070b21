// Attachment files: the record's bytes, the round trip through GetFileData,
// whole replacement, and the paths that must create nothing.
#include "message/attachment_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "frame/error.h"
#include "tests/message/message_harness.h"
#include "tests/support/fake_connection.h"
#include "tests/support/scratch_dir.h"

namespace korimba::testing {
namespace {

namespace fs = std::filesystem;

std::string HexOf(const std::string& data, size_t count) {
  static const char* kDigits = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < count && i < data.size(); ++i) {
    auto b = static_cast<unsigned char>(data[i]);
    if (i > 0) out += ' ';
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class AttachmentTest : public ::testing::Test {
 protected:
  // A message row as GetFileData's lookup returns it.
  static ResultTable MessageRow(int32_t id, Variant file_name) {
    return {{"MsgID", "PersonID", "MsgFileName"}, {I(id), I(7), std::move(file_name)}};
  }

  ScratchDir scratch_{"h4attach"};
  const fs::path dir_ = scratch_.path();
  const std::string prefix_ = dir_.string() + "/";
};

TEST_F(AttachmentTest, PostedFileHoldsOneRecordUnderTheNewMessagesId) {
  auto fake = std::make_shared<FakeConnection>();
  MessageHarness h(fake);
  h.SetWorkPath(prefix_);
  std::vector<uint8_t> payload(70000);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 7);
  const Variant attach = Variant::Bytes(ByteArray{payload, 3});

  fake->QueueResult({});               // insert
  fake->QueueResult({{""}, {I(42)}});  // the connection's new identity
  fake->QueueResult({});               // retention, once the file is in place
  EXPECT_EQ(h.Call("dptAddData", {I(7), T("c"), I(9), T("t"), T("report.pdf"), attach, I(1)})
                .DebugString(),
            "True");
  ASSERT_EQ(fake->texts().size(), 3u);
  EXPECT_EQ(fake->sent()[2].via, "execute");

  EXPECT_EQ(Listing(dir_), std::vector<std::string>{"42"});
  const std::string data = ReadFile(dir_ / "42");
  EXPECT_EQ(data.size(), 12u + payload.size());
  // Tag 0x2011, one dimension, 70000 = 0x00011170 bytes, lower bound 3.
  EXPECT_EQ(HexOf(data, 12), "11 20 01 00 70 11 01 00 03 00 00 00");

  fake->QueueResult(MessageRow(42, T("report.pdf")));
  const Variant back = h.Call("GetFileData", {I(42)});
  ASSERT_NE(back.bytes(), nullptr) << back.DebugString();
  EXPECT_EQ(*back.bytes(), (ByteArray{payload, 3}));
}

// An empty array is a record of no bytes; a new file replaces a longer old
// one whole, through a temporary file that does not stay behind.
TEST_F(AttachmentTest, RecordsReplaceOldFilesWhole) {
  AttachmentStore store(prefix_);
  store.Write("9", ByteArray{std::vector<uint8_t>(100, 0xAA), 0});
  store.Write("9", ByteArray{});
  EXPECT_EQ(HexOf(ReadFile(dir_ / "9"), 100), "11 20 01 00 00 00 00 00 00 00 00 00");
  EXPECT_EQ(store.Read("9")->bytes.size(), 0u);
  store.Write("9", ByteArray{{1, 2, 3}, 0});
  EXPECT_EQ(store.Read("9")->bytes, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(Listing(dir_), std::vector<std::string>{"9"});
}

TEST_F(AttachmentTest, WriteIntoMissingDirectoryFailsAndCreatesNothing) {
  AttachmentStore store(prefix_ + "missing/");
  try {
    store.Write("1", ByteArray{{1}, 0});
    FAIL() << "write succeeded";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), kErrPathAccess) << e.description();
    EXPECT_NE(e.description().find("missing/1"), std::string::npos) << e.description();
  }
  EXPECT_TRUE(Listing(dir_).empty());
}

TEST_F(AttachmentTest, FileThatIsNoRecordIsAFileError) {
  for (const std::string& content :
       {std::string("short"), std::string("\x11\x20\x01\x00\xff\0\0\0\0\0\0\0ab", 14)}) {
    std::ofstream(dir_ / "3", std::ios::binary) << content;
    try {
      AttachmentStore(prefix_).Read("3");
      ADD_FAILURE() << "read " << HexOf(content, 14);
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), kErrFileIo) << e.description();
    }
  }
}

// GetFileData answers Empty, and creates nothing, for a message without a
// row, without an attachment name, or whose file is not there.
TEST_F(AttachmentTest, GetFileDataWithoutAFileIsEmptyAndCreatesNothing) {
  auto fake = std::make_shared<FakeConnection>();
  MessageHarness h(fake);
  h.SetWorkPath(prefix_);
  const std::vector<ResultTable> answers = {
      {{"MsgID", "MsgFileName"}, {}},  // no such message
      MessageRow(4, Variant::Null()),  // posted with AddData
      MessageRow(4, T("")),            // posted with an empty file name
      MessageRow(4, T("gone.txt")),    // file removed since
  };
  for (const ResultTable& answer : answers) {
    fake->QueueResult(answer);
    EXPECT_EQ(h.Call("GetFileData", {I(4)}).DebugString(), "Empty");
  }
  EXPECT_TRUE(Listing(dir_).empty());
}

// dptAddData's file side: the WorkPath prefix is used exactly as given, no
// file without a name, and no file when the new id is unknown.
TEST_F(AttachmentTest, PostingWritesOnlyNamedAttachmentsUnderAKnownId) {
  const Variant one_byte = Variant::Bytes(ByteArray{{1}, 0});
  struct Post {
    std::string work_path;
    Variant new_id, file_name, attach;
    bool succeeds;
  };
  const std::vector<Post> posts = {
      {dir_.string() + "/att", I(8), T("a"), one_byte, true},  // lands beside, as "att8"
      {prefix_, I(9), Variant::Null(), Variant(), true},       // no name: FileAttach unread
      {prefix_, Variant::Null(), T("a"), one_byte, false},     // no id: no file
  };
  for (const Post& p : posts) {
    auto fake = std::make_shared<FakeConnection>();
    MessageHarness h(fake);
    h.SetWorkPath(p.work_path);
    fake->QueueResult({});
    fake->QueueResult({{""}, {p.new_id}});
    fake->QueueResult({});
    bool ok = true;
    try {
      h.Call("dptAddData", {I(7), T("c"), I(9), T("t"), p.file_name, p.attach, T("flg")});
    } catch (const AutomationError&) {
      ok = false;
    }
    EXPECT_EQ(ok, p.succeeds) << p.new_id.DebugString();
    // Without its id the post stops before the retention rule.
    EXPECT_EQ(fake->texts().size(), p.succeeds ? 3u : 2u);
  }
  EXPECT_EQ(Listing(dir_), std::vector<std::string>{"att8"});
}

TEST_F(AttachmentTest, StoreRemovesOnlyWhatIsThere) {
  AttachmentStore store(dir_.string() + "/");
  store.Write("12", ByteArray{{5}, 0});
  EXPECT_TRUE(store.Remove("12"));
  EXPECT_FALSE(store.Remove("12"));
  EXPECT_TRUE(Listing(dir_).empty());
}

}  // namespace
}  // namespace korimba::testing
