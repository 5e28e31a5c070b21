#include "cli/json_value.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "frame/error.h"
#include "frame/safe_array.h"
#include "host/page_host.h"

namespace korimba::cli {
namespace {

using ::testing::HasSubstr;

Variant DateAt(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
  return Variant::FromDate(*MakeDate({y, mo, d, h, mi, s, ms}));
}

Variant Bytes(std::vector<uint8_t> bytes, int32_t lbound) {
  return Variant::Bytes(ByteArray{std::move(bytes), lbound});
}

// A 2 x 3 grid whose cells tell their own index, so that a transposed or
// flattened encoding shows at once.
Variant SmallGrid() {
  auto array = std::make_shared<SafeArray>(std::vector<Bound>{{0, 1}, {0, 2}});
  array->at({0, 0}) = Variant::I2(1);
  array->at({0, 1}) = Variant::Text("0,1");
  array->at({1, 0}) = Variant::Null();
  array->at({1, 2}) = DateAt(2024, 3, 5, 9, 7, 0);
  return Variant::Array(array);
}

Variant ArrayOf(std::vector<Bound> bounds) {
  return Variant::Array(std::make_shared<SafeArray>(std::move(bounds)));
}

struct RoundTrip {
  const char* json;
  Variant value;
};

// Each kind written the one way the host writes it, and read back to the
// very same value.
TEST(JsonValueTest, EveryKindRoundTripsThroughItsCanonicalForm) {
  auto one_based = std::make_shared<SafeArray>(std::vector<Bound>{{1, 2}});
  one_based->at({1}) = Variant::R8(2.5);
  one_based->at({2}) = Variant::Bool(false);
  const RoundTrip cases[] = {
      {"null", Variant::Null()},
      {"true", Variant::Bool(true)},
      {R"("王芳 says \"hi\"")", Variant::Text("王芳 says \"hi\"")},
      {R"({"$empty":true})", Variant()},
      {R"({"$missing":true})", Variant::Missing()},
      {R"({"$i2":-32768})", Variant::I2(-32768)},
      {R"({"$i2":7})", Variant::I2(7)},
      {R"({"$i4":70000})", Variant::I4(70000)},
      {R"({"$i4":5})", Variant::I4(5)},
      {R"({"$r4":0.1})", Variant::R4(0.1f)},
      {R"({"$r8":2.0})", Variant::R8(2.0)},
      {R"({"$r8":-1e-300})", Variant::R8(-1e-300)},
      {R"({"$r8":"-inf"})", Variant::R8(-INFINITY)},
      {R"({"$date":"2024-03-05 09:07:00"})", DateAt(2024, 3, 5, 9, 7, 0)},
      {R"({"$date":"2024-03-05 00:00:00"})", DateAt(2024, 3, 5, 0, 0, 0)},
      {R"({"$date":"2024-02-29 23:59:59.250"})", DateAt(2024, 2, 29, 23, 59, 59, 250)},
      {R"({"$date":"1899-12-30 00:00:00"})", Variant::FromDate(Date{0})},
      {R"({"$bytes":"AAH/","lbound":1})", Bytes({0, 1, 255}, 1)},
      {R"({"$bytes":"","lbound":0})", Bytes({}, 0)},
      {R"({"$array":null})", Variant::NoArray()},
      {R"({"$array":{"bounds":[[0,1],[0,2]],"cells":[[{"$i2":1},"0,1",{"$empty":true}],)"
       R"([null,{"$empty":true},{"$date":"2024-03-05 09:07:00"}]]}})",
       SmallGrid()},
      {R"({"$array":{"bounds":[[1,2]],"cells":[{"$r8":2.5},false]}})", Variant::Array(one_based)},
      {R"({"$array":{"bounds":[[0,-1],[0,6]],"cells":[]}})", ArrayOf({{0, -1}, {0, 6}})},
  };
  for (const RoundTrip& c : cases) {
    SCOPED_TRACE(c.json);
    EXPECT_EQ(VariantToJson(c.value).dump(), c.json);
    const Variant back = JsonToVariant(Json::parse(c.json));
    EXPECT_EQ(back.DebugString(), c.value.DebugString());
    EXPECT_TRUE(back == c.value);
  }
}

TEST(JsonValueTest, NonFiniteRealsAndObjectsHaveTextForms) {
  EXPECT_EQ(VariantToJson(Variant::R8(NAN)).dump(), R"({"$r8":"nan"})");
  EXPECT_TRUE(
      std::isnan(std::get<double>(JsonToVariant(Json::parse(R"({"$r8":"nan"})")).storage())));
  EXPECT_EQ(VariantToJson(Variant::R4(INFINITY)).dump(), R"({"$r4":"inf"})");
  EXPECT_EQ(VariantToJson(Variant::Object(std::make_shared<InMemorySession>())).dump(),
            R"({"$object":"Session"})");
  EXPECT_EQ(VariantToJson(Variant::Object(nullptr)).dump(), R"({"$object":"Nothing"})");
}

// Plain JSON numbers take the smallest kind that holds them whole.
TEST(JsonValueTest, PlainNumbersBecomeI2ThenI4ThenR8) {
  const std::pair<const char*, const char*> cases[] = {
      {"0", "0i2"},
      {"32767", "32767i2"},
      {"-32768", "-32768i2"},
      {"32768", "32768i4"},
      {"-32769", "-32769i4"},
      {"2147483647", "2147483647i4"},
      {"2147483648", "2147483648r8"},
      {"-2147483649", "-2147483649r8"},
      {"3.0", "3i2"},
      {"-0.0", "0i2"},
      {"2.5", "2.5r8"},
      {"1e5", "100000i4"},
      {"18446744073709551615", "1.84467440737096E+19r8"},
  };
  for (const auto& [json, debug] : cases) {
    EXPECT_EQ(JsonToVariant(Json::parse(json)).DebugString(), debug) << json;
  }
  // A date given without its time reads as midnight.
  EXPECT_EQ(JsonToVariant(Json::parse(R"({"$date":"2024-3-1"})")), DateAt(2024, 3, 1, 0, 0, 0));
}

TEST(JsonValueTest, MalformedFormsAreRefusedWithTheReason) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"$i2":40000})", "$i2 needs a whole number"},
      {R"({"$i2":1.5})", "$i2 needs a whole number"},
      {R"({"$i4":"5"})", "$i4 needs a whole number"},
      {R"({"$r8":"many"})", "$r8 needs a number"},
      {R"({"$empty":false})", "$empty must be true"},
      {R"({"$i2":1,"extra":2})", "unexpected fields"},
      {R"({"$date":"2024-13-01 00:00:00"})", "not a valid date"},
      {R"({"$date":"2024-03-05 09:07:00.5"})", "not a valid date"},
      {R"({"$date":"yesterday"})", "is not a date"},
      {R"({"$date":20240305})", "$date needs a text"},
      {R"({"$bytes":"A"})", "base64"},
      {R"({"$bytes":"AA=A"})", "base64"},
      {R"({"$bytes":"AAAA","lbound":"x"})", "lbound needs a whole number"},
      {R"({"$array":{"bounds":[[0,1]],"cells":[1]}})", "list of 2 entries"},
      {R"({"$array":{"bounds":[[0,1],[0,0]],"cells":[[1],2]}})", "depth 2"},
      {R"({"$array":{"bounds":[[1,2147483647]],"cells":[]}})", "list of 2147483647"},
      {R"({"$array":{"bounds":[[0,-1],[0,2147483647]],"cells":[]}})", "spans too many cells"},
      {R"({"$array":{"bounds":[[-2147483648,2147483647]],"cells":[]}})", "spans too many cells"},
      {R"({"$array":{"bounds":[[5,1]],"cells":[]}})", "below lower - 1"},
      {R"({"$array":{"bounds":[],"cells":[]}})", "non-empty list"},
      {R"({"$array":[1,2]})", "$array needs null or"},
      {R"({"$object":"Message"})", "objects cannot be passed"},
      {R"({"$weird":1})", "unknown value form"},
      {"[1,2]", "arrays travel as"},
  };
  std::string deep = "1";
  for (int i = 0; i < 40; ++i) deep = R"({"$array":{"bounds":[[0,0]],"cells":[)" + deep + "]}}";
  std::vector<std::pair<std::string, std::string>> all(std::begin(cases), std::end(cases));
  all.emplace_back(deep, "nested more than 32 deep");
  for (const auto& [json, reason] : all) {
    SCOPED_TRACE(json);
    try {
      JsonToVariant(Json::parse(json));
      ADD_FAILURE() << "accepted";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), kErrInvalidCall);
      EXPECT_THAT(e.description(), HasSubstr(reason));
    }
  }
}

TEST(JsonValueTest, Base64FollowsTheStandardAlphabetAndPadding) {
  const std::pair<std::string, std::string> vectors[] = {
      {"", ""},        {"f", "Zg=="},          {"fo", "Zm8="},
      {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}, {"\xfb\xff", "+/8="},
  };
  for (const auto& [plain, encoded] : vectors) {
    std::vector<uint8_t> bytes(plain.begin(), plain.end());
    EXPECT_EQ(EncodeBase64(bytes), encoded);
    std::vector<uint8_t> decoded;
    ASSERT_TRUE(DecodeBase64(encoded, &decoded)) << encoded;
    EXPECT_EQ(decoded, bytes);
  }
  std::vector<uint8_t> ignored;
  for (const char* bad : {"Zg=", "Z===", "=Zg=", "Zg==Zm8=", "Zm9v!A==", "Zm 9"}) {
    EXPECT_FALSE(DecodeBase64(bad, &ignored)) << bad;
  }
}

}  // namespace
}  // namespace korimba::cli
