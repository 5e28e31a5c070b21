// GetFileData's lookup as the database receives it.
#include <gtest/gtest.h>

#include <string>

#include "message/message.h"
#include "tests/message/statement_cases.h"

namespace korimba::testing {
namespace {

TEST(AttachmentsStatements, SentExactlyAsWritten) {
  ExpectSentExactly({
      {"GetFileData", {I(5)}, {"select * from DATA_Msg where MsgID = 5"}},
  });
}

}  // namespace
}  // namespace korimba::testing
