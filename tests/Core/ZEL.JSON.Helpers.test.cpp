#include <gtest/gtest.h>

#include "ZEL.JSON.Helpers.h"

namespace {

using ZEL::TJSON;
using ZEL::TZELJSONWriter;
namespace H = ZEL::JSON::Helpers;

std::string Write(const TJSON& AValue, TZELJSONWriter::TFormatting AFormatting = TZELJSONWriter::TFormatting::None) {
  TZELJSONWriter writer(AFormatting);
  ZEL::TZELJSONWriterHelper::WriteAncestor(writer, AValue);
  EXPECT_EQ(writer.Depth(), 0u);
  return writer.Text();
}

TEST(JSONWriterHelper, NumbersIntegersExactOthersThroughTheirDoubleValue) {
  struct TCase {
    const char* Json;
    const char* Written;
  };
  const TCase cases[] = {
      {"100", "100"},
      {"2.50", "2.5"},
      {"1e3", "1000"},
      {"-0.125", "-0.125"},
      {"9007199254740993", "9007199254740993"},          // 2^53 + 1: a double would drop the 3
      {"-9223372036854775808", "-9223372036854775808"},
      {"18446744073709551615", "18446744073709551615"},
  };
  for (const auto& c : cases) EXPECT_EQ(Write(TJSON::parse(c.Json)), c.Written) << c.Json;
}

TEST(JSONWriterHelper, StringsEscapeQuoteBackslashAndControlCharacters) {
  EXPECT_EQ(Write(TJSON(std::string("a\"b\\c\n\t\x01/\xc3\xa4"))), "\"a\\\"b\\\\c\\n\\t\\u0001/\xc3\xa4\"");
  EXPECT_EQ(Write(TJSON(nullptr)), "null");
  EXPECT_EQ(Write(TJSON(true)), "true");
  EXPECT_EQ(Write(TJSON::binary({1, 2})), "null");
}

TEST(JSONWriterHelper, ObjectWithARepeatedNameWritesBothMembersInOrder) {
  TJSON object = TJSON::object();
  H::AddPair(object, "Reason", "first");
  H::AddPair(object, "Code", 1);
  H::AddPair(object, "Reason", "second");
  EXPECT_EQ(Write(object), R"({"Reason":"first","Code":1,"Reason":"second"})");
}

TEST(JSONWriterHelper, IndentedLayoutNestsWithFourBlanksAndCRLF) {
  const auto value = TJSON::parse(R"({"a":[1,[],{"b":null}],"c":{},"d":"x"})");
  EXPECT_EQ(Write(value, TZELJSONWriter::TFormatting::Indented),
            "{\r\n"
            "    \"a\": [\r\n"
            "        1,\r\n"
            "        [],\r\n"
            "        {\r\n"
            "            \"b\": null\r\n"
            "        }\r\n"
            "    ],\r\n"
            "    \"c\": {},\r\n"
            "    \"d\": \"x\"\r\n"
            "}");
  EXPECT_EQ(Write(TJSON::array(), TZELJSONWriter::TFormatting::Indented), "[]");
}

TEST(JSONWriterHelper, MisuseOfTheWriterIsAnAssertion) {
  TZELJSONWriter writer;
  writer.WriteStartObject();
  EXPECT_THROW(writer.WriteValue(true), ZEL::EAssertionFailed);  // value without a name
  EXPECT_THROW(writer.WriteEndArray(), ZEL::EAssertionFailed);
}

class JSONTypedLookups : public ::testing::Test {
protected:
  const TJSON FData = TJSON::parse(R"({
    "Name": "cam", "Count": 5, "Online": true, "Missing": null, "List": [1],
    "State": {"Data": {"State": 2, "Label": "on"}}
  })");
};

TEST_F(JSONTypedLookups, AValueOfAnotherTypeCountsAsMissing) {
  EXPECT_EQ(H::TryGetString(FData, "Name"), "cam");
  EXPECT_EQ(H::TryGetString(FData, "Count"), std::nullopt);
  EXPECT_EQ(H::TryGetText(FData, "Count"), "5");
  EXPECT_EQ(H::TryGetText(FData, "Online"), std::nullopt);
  EXPECT_EQ(H::TryGetInt32(FData, "Count"), 5);
  EXPECT_EQ(H::TryGetInt32(FData, "Name"), std::nullopt);
  EXPECT_EQ(H::TryGetInt32(FData, "Online"), std::nullopt);
  EXPECT_EQ(H::TryGetBool(FData, "Online"), true);
  EXPECT_EQ(H::TryGetBool(FData, "Count"), std::nullopt);
  for (const char* key : {"Missing", "Absent"}) {
    EXPECT_EQ(H::TryGetText(FData, key), std::nullopt) << key;
    EXPECT_EQ(H::TryGetInt32(FData, key), std::nullopt) << key;
    EXPECT_EQ(H::TryGetBool(FData, key), std::nullopt) << key;
    EXPECT_EQ(H::TryGetObject(FData, key), nullptr) << key;
  }
  EXPECT_NE(H::TryGetArray(FData, "List"), nullptr);
  EXPECT_EQ(H::TryGetArray(FData, "State"), nullptr);
  EXPECT_NE(H::TryGetObject(FData, "State"), nullptr);
  EXPECT_EQ(H::TryGetObject(FData, "List"), nullptr);
}

TEST_F(JSONTypedLookups, DottedPathsWalkObjectsOnly) {
  EXPECT_EQ(H::TryGetInt32(FData, "State.Data.State"), 2);
  EXPECT_EQ(H::TryGetString(FData, "State.Data.Label"), "on");
  EXPECT_EQ(H::FindValue(FData, "State.Data.Absent"), nullptr);
  EXPECT_EQ(H::FindValue(FData, "Name.Data"), nullptr);       // through a string
  EXPECT_EQ(H::FindValue(FData, "List.0"), nullptr);          // arrays are not walked
  EXPECT_EQ(H::FindValue(TJSON::array(), "Name"), nullptr);
}

TEST(JSONTypedLookupsRange, ANumberThatIsNoWhole32BitValueRaisesEJSONInvalidValue) {
  for (const char* ok : {"2147483647", "-2147483648", "2.0"})
    EXPECT_NO_THROW(H::TryGetInt32(TJSON::parse(std::string(R"({"v":)") + ok + "}"), "v")) << ok;
  for (const char* bad : {"2147483648", "-2147483649", "5000000000", "18446744073709551615", "2.5", "1e300"})
    EXPECT_THROW(H::TryGetInt32(TJSON::parse(std::string(R"({"v":)") + bad + "}"), "v"), ZEL::EJSONInvalidValue)
        << bad;
  try {
    H::TryGetInt32(TJSON::parse(R"({"State": {"Data": {"State": 4294967298}}})"), "State.Data.State");
    FAIL() << "no exception";
  } catch (const ZEL::EJSONInvalidValue& E) {
    EXPECT_STREQ(E.className(), "EJSONInvalidValue");
    EXPECT_STREQ(E.what(),
                 "Invalid value in \"State.Data.State\" property. Expected: \" value (4294967298) must be a whole "
                 "number in range[-2147483648..2147483647]\"");
  }
}

TEST(JSONTypedLookupsRange, EJSONInvalidValueMessageForm) {
  const ZEL::EJSONInvalidValue e("State", "(7)must be in range[0..3]");
  EXPECT_STREQ(e.what(), "Invalid value in \"State\" property. Expected: \"(7)must be in range[0..3]\"");
}

}  // namespace
