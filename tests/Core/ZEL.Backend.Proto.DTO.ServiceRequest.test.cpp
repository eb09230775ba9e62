#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "ZEL.Backend.Proto.DTO.ServiceRequest.h"
#include "ZEL.Backend.Proto.Serializer.h"
#include "ZEL.JSON.Utils.h"
#include "ZEL.Time.h"

namespace {

using ZEL::TJSON;
using ZEL::TZELServiceRequestDTO;
using ZEL::TZELVariant;

std::string Golden(const char* AName) {
  const std::string path = ZEL::Test::FixturePath(AName);
  const std::string text = ZEL::Test::ReadFileBytes(path);
  EXPECT_FALSE(text.empty()) << "golden file missing: " << path;
  return text;
}

ZEL::TGUID ParseGUID(std::string_view AText) {
  ZEL::TGUID guid;
  EXPECT_TRUE(ZEL::TGUID::TryParse(AText, guid)) << AText;
  return guid;
}

// 2025-03-02T20:15:30.123Z: 10:15:30.123 on 3 March in Kiritimati (UTC+14).
const ZEL::Time::TInstant KClockInstant =
    ZEL::Time::TInstant(std::chrono::milliseconds(1740946530123));

class ServiceRequestPayload : public ::testing::Test {
protected:
  void SetUp() override {
    ZEL::Time::SetClock([] { return KClockInstant; });
  }
  void TearDown() override { ZEL::Time::SetClock({}); }

  // Filled the way an edge service fills a dismiss request.
  static void Fill(TZELServiceRequestDTO& ARequest) {
    ARequest.Source().SetGUID(ParseGUID("{0a1b2c3d-4e5f-6789-abcd-ef0123456789}"));
    ARequest.Source().SetSourceType(200);
    ARequest.Source().SetID("jane.doe@example.com");
    ARequest.Source().SetName("Jane \"JD\" Doe\\Ops");
    ARequest.SetRequestType(6);
    ARequest.SetDateTime(ZEL::Time::Now());
    ARequest.SetObjectId("65f1c0ffee0123456789abcd");
    ARequest.SetRequestId("65f1c0ffee0123456789abcd");
    ARequest.ServiceProvider().SetGUID(ParseGUID("{01234567-89AB-CDEF-0123-456700000000}"));
    ARequest.ServiceProvider().SetID("cam-7");
    ARequest.SetServiceIndex(2);
    TJSON params = ZEL::JSON::Utils::VarArgsToJSONValue(
        {"IncidentId", "65f1aa0000000000000000aa", "Reason", "False alarm\tat gate", "ReasonCode", 3,
         "Sequence", std::int64_t{9007199254740993}, "Ratio", 2.50, "Cameras",
         TZELVariant::Array({"north", 1}), "Zones", TZELVariant::Array({})});
    params["Options"] = TJSON::object();
    ARequest.RequestData().SetParams(std::move(params));
  }
};

TEST_F(ServiceRequestPayload, FullRequestMatchesGoldenTextByteForByte) {
  ZEL::Test::TScopedEnv tz("TZ", "Pacific/Kiritimati");
  TZELServiceRequestDTO request;
  Fill(request);
  // The lower-case GUID comes out upper-case; the 2^53+1 sequence keeps its last digit.
  EXPECT_EQ(request.ToJSON(), Golden("ServiceRequest.Full.json"));
}

TEST_F(ServiceRequestPayload, FreshRecordWritesEveryMemberWithZeroValues) {
  TZELServiceRequestDTO request;
  request.RequestData().SetParams(nullptr);
  const std::string golden = Golden("ServiceRequest.Fresh.json");
  EXPECT_EQ(request.ToJSON(), golden);

  // A configuration procedure can switch to compact output: same members, no layout.
  std::string compact;
  for (std::size_t i = 0; i < golden.size(); ++i) {
    if (golden[i] == '\r' || golden[i] == '\n' || golden[i] == ' ') continue;
    compact += golden[i];
  }
  const auto text = ZEL::TZELProtoSerializer::Serialize(
      [](ZEL::TZELJSONSerializerSettings& ASettings) {
        ASettings.Formatting = ZEL::TZELJSONWriter::TFormatting::None;
      },
      request);
  EXPECT_EQ(text, compact);

  // Released parameters are null again.
  Fill(request);
  request.RequestData().ReleaseParams();
  EXPECT_TRUE(TJSON::parse(request.ToJSON())["RequestData"]["Params"].is_null());
}

TEST_F(ServiceRequestPayload, DateTimeIsTheLocalClockTimeWithZWhateverTheZone) {
  struct TCase {
    const char* Zone;
    const char* Expected;
  };
  const TCase cases[] = {
      {"Pacific/Kiritimati", "2025-03-03T10:15:30.123Z"},  // UTC+14: next day
      {"Pacific/Pago_Pago", "2025-03-02T09:15:30.123Z"},   // UTC-11
      {"UTC", "2025-03-02T20:15:30.123Z"},
  };
  for (const auto& c : cases) {
    ZEL::Test::TScopedEnv tz("TZ", c.Zone);
    TZELServiceRequestDTO request;
    request.SetDateTime(ZEL::Time::Now());
    EXPECT_EQ(TJSON::parse(request.ToJSON())["DateTime"], c.Expected) << c.Zone;
  }
}

TEST(ServiceRequestSerializer, BaseRecordIsAnEmptyObject) {
  const ZEL::TDTOBaseClass base;
  EXPECT_EQ(base.ToJSON(), "{}");
  EXPECT_EQ(ZEL::TZELProtoSerializer::Serialize(base), "{}");
}

}  // namespace
