#include <gtest/gtest.h>

#include "TestSupport.h"
#include "ZEL.JSON.Utils.h"

namespace {

using ZEL::TJSON;
using ZEL::TZELVariant;
using ZEL::JSON::Utils::VarArgsToJSONValue;
using ZEL::JSON::Utils::VariantToJSONValue;

TEST(JSONUtilsVariant, SingleValueRuleByKind) {
  struct TCase {
    const char* Kind;
    TZELVariant Value;
    TJSON Expected;
  };
  const TCase cases[] = {
      {"empty", TZELVariant(), nullptr},
      {"null", TZELVariant(nullptr), nullptr},
      {"int8", TZELVariant(std::int8_t{-5}), -5},
      {"int32", TZELVariant(std::int32_t{-2147483647 - 1}), -2147483647 - 1},
      {"uint32 above int32", TZELVariant(std::uint32_t{4000000000u}), 4000000000u},
      {"int64 above 2^53", TZELVariant(std::int64_t{9007199254740993}), std::int64_t{9007199254740993}},
      {"uint8 as text", TZELVariant(std::uint8_t{5}), "5"},
      {"uint16 as text", TZELVariant(std::uint16_t{700}), "700"},
      {"single", TZELVariant(2.5f), 2.5},
      {"double", TZELVariant(0.1), 0.1},
      {"bool", TZELVariant(true), true},
      {"text", TZELVariant("abc"), "abc"},
  };
  for (const auto& c : cases) {
    const TJSON value = VariantToJSONValue(c.Value);
    EXPECT_EQ(value, c.Expected) << c.Kind;
    EXPECT_EQ(value.type(), c.Expected.type()) << c.Kind;
  }
  // Exact, not merely equal after a detour through double.
  EXPECT_EQ(VariantToJSONValue(std::int64_t{9007199254740993}).dump(), "9007199254740993");
}

TEST(JSONUtilsVariant, DateIsItsLocalClockTimeWithZ) {
  for (const char* zone : {"Europe/Berlin", "Pacific/Kiritimati"}) {
    ZEL::Test::TScopedEnv tz("TZ", zone);
    const auto local = ZEL::Time::FromLocal(2025, 3, 3, 10, 15, 30, 500);
    EXPECT_EQ(VariantToJSONValue(TZELVariant::Date(local)), "2025-03-03T10:15:30.500Z") << zone;
  }
}

TEST(JSONUtilsVariant, ArraysConvertElementwiseAndRejectNestedArrays) {
  EXPECT_EQ(VariantToJSONValue(TZELVariant::Array({"a", 1, true, nullptr})), TJSON::parse(R"(["a",1,true,null])"));
  EXPECT_EQ(VariantToJSONValue(TZELVariant::Array({})), TJSON::array());
  EXPECT_THROW(VariantToJSONValue(TZELVariant::Array({1, TZELVariant::Array({2})})), ZEL::EVariantTypeCastError);
}

TEST(JSONUtilsVarArgs, ObjectOnlyForNameValuePairsOtherwiseArray) {
  EXPECT_TRUE(VarArgsToJSONValue({}).is_null());
  EXPECT_EQ(VarArgsToJSONValue({"IncidentId"}), TJSON("IncidentId"));  // one text stays a string
  EXPECT_EQ(VarArgsToJSONValue({TZELVariant::Array({1, 2})}), TJSON::parse("[1,2]"));

  const TJSON dismiss = VarArgsToJSONValue({"IncidentId", "65f1", "Reason", "False alarm", "ReasonCode", 3});
  EXPECT_EQ(dismiss.dump(), R"({"IncidentId":"65f1","Reason":"False alarm","ReasonCode":3})");

  EXPECT_EQ(VarArgsToJSONValue({"a", 1, 2}), TJSON::parse(R"(["a",1,2])"));               // odd count
  EXPECT_EQ(VarArgsToJSONValue({"a", 1, 2, "b"}), TJSON::parse(R"(["a",1,2,"b"])"));      // third not a text
  EXPECT_EQ(VarArgsToJSONValue({"a", TZELVariant::Array({1}), 7, 8}).dump(), R"(["a",[1],7,8])");

  const TJSON twice = VarArgsToJSONValue({"Reason", "x", "Reason", "y"});
  ASSERT_EQ(twice.size(), 2u);
  EXPECT_EQ(twice.dump(), R"({"Reason":"x","Reason":"y"})");
}

}  // namespace
