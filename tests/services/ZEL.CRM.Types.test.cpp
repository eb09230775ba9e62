// Reading the backend user record.

#include "ZEL.CRM.Types.h"

#include <gtest/gtest.h>

namespace ZEL {
namespace {

using TJSON = nlohmann::ordered_json;

TEST(CRMUserRecord, ReadsOnlyWhatIsThere) {
  const auto r = TZELUserRecord::FromJSON(
      TJSON::parse(R"({"_id":"u1","email":"a@b.c","organization":{"_id":"o1","type":"dealer"},"escalated":true})"));
  EXPECT_EQ(r->ID, "u1");
  EXPECT_EQ(r->email, "a@b.c");
  EXPECT_EQ(r->organization().ID, "o1");
  EXPECT_EQ(r->organization().OrgType, "dealer");
  EXPECT_TRUE(r->Escalated);
  EXPECT_FALSE(r->NonEscalated);
  EXPECT_EQ(r->name, "");
  EXPECT_EQ(r->__V, 0);
  EXPECT_TRUE(Time::IsMissing(r->created));

  const auto noOrg = TZELUserRecord::FromJSON(TJSON::parse(R"({"_id":"u1","organization":null})"));
  EXPECT_EQ(noOrg->organization().ID, "");
}

TEST(CRMUserRecord, FullRecordOfTheBackend) {
  const auto r = TZELUserRecord::FromJSON(TJSON::parse(R"({"__v":3,"_id":"u1","email":"a@b.c","name":"Ann",
    "role":"operator","isActive":true,"ipList":["1.2.3.4"],"created":"2024-01-15T09:30:00.000Z",
    "organization":{"_id":"o1","code":"ORG-1","users":["u1","u2"]},"nonEscalated":true})"));
  EXPECT_EQ(r->__V, 3);
  EXPECT_EQ(r->name, "Ann");
  EXPECT_EQ(r->role, "operator");
  EXPECT_TRUE(r->isActive);
  EXPECT_EQ(r->ipList, std::vector<std::string>{"1.2.3.4"});
  EXPECT_EQ(Time::FormatISO8601UTC(r->created).substr(0, 19), "2024-01-15T09:30:00");
  EXPECT_EQ(r->organization().code, "ORG-1");
  EXPECT_EQ(r->organization().users.size(), 2u);
  EXPECT_TRUE(r->NonEscalated);
}

TEST(CRMUserRecord, UsedFieldsAreStrictOthersTolerant) {
  for (const char* bad : {R"({"_id":5})", R"({"email":true})", R"({"escalated":"true"})",
                          R"({"organization":{"_id":["x"]}})", R"({"organization":"o1"})", R"([1,2])"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(TZELUserRecord::FromJSON(TJSON::parse(bad)), EZELUserRecordError);
  }
  const auto r = TZELUserRecord::FromJSON(
      TJSON::parse(R"({"_id":"u1","created":"yesterday","isActive":"yes","__v":"3","ipList":"none","role":7})"));
  EXPECT_EQ(r->ID, "u1");
  EXPECT_TRUE(Time::IsMissing(r->created));
  EXPECT_FALSE(r->isActive);
  EXPECT_EQ(r->__V, 0);
  EXPECT_TRUE(r->ipList.empty());
  EXPECT_EQ(r->role, "");
}

TEST(CRMUserRecord, LogTextMasksSecrets) {
  const std::string text = CRM::Types::MaskedForLog(
      R"({"_id":"u1","hash":"9f86d081884c7d659a2feaa0c55ad015","salt":"s4ltS4lt","resetToken":"rt-secret-123"})");
  EXPECT_EQ(text.find("9f86d081884c7d659a2feaa0c55ad015"), std::string::npos);
  EXPECT_EQ(text.find("s4ltS4lt"), std::string::npos);
  EXPECT_EQ(text.find("rt-secret-123"), std::string::npos);
  EXPECT_NE(text.find("\"u1\""), std::string::npos);
  EXPECT_EQ(CRM::Types::MaskedForLog("not json"), "not json");
}

}  // namespace
}  // namespace ZEL
