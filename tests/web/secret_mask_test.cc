#include "web/secret_mask.h"

#include <gtest/gtest.h>

namespace korimba::web {
namespace {

TEST(SecretMaskTest, HidesPasswordValuesOnly) {
  struct Case {
    const char* text;
    const char* masked;
  };
  const Case cases[] = {
      {"odbc:Driver=x;Server=db;UID=korimba;PWD=secret;Database=office",
       "odbc:Driver=x;Server=db;UID=korimba;PWD=***;Database=office"},
      {"odbc:DSN=office;pwd=last", "odbc:DSN=office;pwd=***"},
      {"Server=db; Password = two words ;UID=a", "Server=db; Password =***;UID=a"},
      {"odbc:PWD={se;cr}}et};UID=a", "odbc:PWD=***;UID=a"},
      {"cannot open 'odbc:UID=a;PWD=s3': login failed",
       "cannot open 'odbc:UID=a;PWD=***': login failed"},
      {"Login failed for PWD=abc\nnext line", "Login failed for PWD=***\nnext line"},
      // Keys that merely end in the word are not secrets; nothing else changes.
      {"MyPwd=visible;OldPassword=visible", "MyPwd=visible;OldPassword=visible"},
      {"sqlite:/var/lib/korimba/korimba.db", "sqlite:/var/lib/korimba/korimba.db"},
      {"PWD=", "PWD=***"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(MaskSecrets(c.text), c.masked) << c.text;
}

}  // namespace
}  // namespace korimba::web
