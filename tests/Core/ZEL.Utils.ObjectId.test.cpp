#include <gtest/gtest.h>

#include "ZEL.Time.h"
#include "ZEL.Utils.ObjectId.h"

#include <regex>
#include <set>

TEST(ObjectIdToGUID, ReadsTheIdsDigitsInOrder) {
  const struct {
    const char* Id;
    const char* Guid;
  } cases[] = {
      {"0123456789abcdef01234567", "{01234567-89AB-CDEF-0123-456700000000}"},
      {"0123456789ABCDEF01234567", "{01234567-89AB-CDEF-0123-456700000000}"},
      {"65f1c2a9e4b0d3a1b2c3d4e5", "{65F1C2A9-E4B0-D3A1-B2C3-D4E500000000}"},
      {"000000000000000000000000", "{00000000-0000-0000-0000-000000000000}"},
      // Reading stops at the first pair that is not two hex digits; the rest stays zero.
      {"0123zz6789abcdef01234567", "{01230000-0000-0000-0000-000000000000}"},
      {"01234g6789abcdef01234567", "{01230000-0000-0000-0000-000000000000}"},
  };
  for (const auto& c : cases) EXPECT_EQ(ZEL::Utils::ObjectIdToGUID(c.Id).ToString(), c.Guid) << c.Id;
  EXPECT_TRUE(ZEL::Utils::ObjectIdToGUID("000000000000000000000000").IsEmpty());
  EXPECT_TRUE(ZEL::Utils::ObjectIdToGUID(std::optional<ZEL::TObjectIdBytes>{}).IsEmpty());
  const ZEL::TObjectIdBytes raw{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  EXPECT_EQ(ZEL::Utils::ObjectIdToGUID(std::optional{raw}).ToString(),
            "{01020304-0506-0708-090A-0B0C00000000}");
  // Only the first 12 bytes of a longer array count.
  const std::uint8_t longer[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  EXPECT_EQ(ZEL::Utils::RawObjectIdToGUID(longer), ZEL::Utils::ObjectIdToGUID(std::optional{raw}));
}

TEST(ObjectIdToGUID, OtherLengthsRaise) {
  for (const char* id : {"0123456789abcdef0123456", "0123456789abcdef012345678", ""}) {
    try {
      ZEL::Utils::ObjectIdToGUID(id);
      ADD_FAILURE() << "no error for " << id;
    } catch (const ZEL::EObjectIdError& e) {
      EXPECT_STREQ(e.what(), "Invalid ObjectId Length");
      EXPECT_STREQ(e.className(), "EObjectIdError");
    }
  }
}

TEST(ObjectId, NewIdsFollowTheBsonLayout) {
  const auto now = ZEL::Time::FromUnixSeconds(0x65F1C2A9);
  ZEL::Time::SetClock([now] { return now; });
  const std::string a = ZEL::Utils::ZELObjectId();
  const std::string b = ZEL::Utils::ZELObjectId();
  ZEL::Time::SetClock({});
  EXPECT_TRUE(std::regex_match(a, std::regex("[0-9a-f]{24}"))) << a;
  EXPECT_EQ(a.substr(0, 8), "65f1c2a9");
  EXPECT_EQ(a.substr(8, 10), b.substr(8, 10));  // the process part
  const auto counter = [](const std::string& S) { return std::stoul(S.substr(18), nullptr, 16); };
  EXPECT_EQ((counter(a) + 1) & 0xFFFFFF, counter(b));
  EXPECT_EQ(ZEL::Utils::ObjectIdToString(ZEL::Utils::ParseObjectId(a)), a);
}

TEST(GUID, TextFormRoundTrip) {
  ZEL::TGUID g;
  ASSERT_TRUE(ZEL::TGUID::TryParse("{01234567-89ab-CDEF-0123-456789ABCDEF}", g));
  EXPECT_EQ(g.ToString(), "{01234567-89AB-CDEF-0123-456789ABCDEF}");
  EXPECT_EQ(g.D1, 0x01234567u);
  EXPECT_EQ(g.D4[7], 0xEF);
  for (const char* bad : {"", "01234567-89AB-CDEF-0123-456789ABCDEF", "{01234567-89AB-CDEF-0123-456789ABCDEG}",
                          "{0123456789AB-CDEF-0123-456789ABCDEF0}", "{01234567-89AB-CDEF-0123-456789ABCDE}"}) {
    ZEL::TGUID v;
    EXPECT_FALSE(ZEL::TGUID::TryParse(bad, v)) << bad;
  }
  EXPECT_EQ(ZEL::TGUID::Empty().ToString(), "{00000000-0000-0000-0000-000000000000}");
}
