#include <gtest/gtest.h>

#include "TestSupport.h"
#include "ZEL.Utils.JWT.h"

#include <QByteArray>

namespace {

std::string B64Url(const std::string& AText) {
  return QByteArray(AText.data(), static_cast<qsizetype>(AText.size()))
      .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals)
      .toStdString();
}

std::string Token(const std::string& AHeader, const std::string& AClaims, const std::string& ASig = "c2ln") {
  return B64Url(AHeader) + "." + B64Url(AClaims) + "." + ASig;
}

const std::string GoodHeader = R"({"alg":"RS256","kid":"k-1","typ":"JWT"})";
const std::string GoodClaims = R"({"aud":"zeldevstand","exp":1741000000,"sub":"u1"})";

// A previous result that every rejection must clear.
ZEL::TTokenInfo Stale() {
  return ZEL::TTokenInfo{"X", "Y", "Z", ZEL::Time::FromUnixSeconds(5)};
}

void ExpectCleared(const ZEL::TTokenInfo& AInfo) {
  EXPECT_TRUE(AInfo.TokenType.empty());
  EXPECT_TRUE(AInfo.TokenAlgo.empty());
  EXPECT_TRUE(AInfo.TokenKeyID.empty());
  EXPECT_TRUE(ZEL::Time::IsMissing(AInfo.ExpireAt));
}

class JWTTokenInfo : public ::testing::Test {
protected:
  // Whatever the machine has set, these tests decide about the emulator themselves.
  ZEL::Test::TScopedEnv FNoEmulator{"FIREBASE_AUTH_EMULATOR_HOST", nullptr};
};

}  // namespace

TEST_F(JWTTokenInfo, AcceptsTheExpectedKindAndFillsTheInfo) {
  ZEL::TTokenInfo info = Stale();
  ASSERT_TRUE(ZEL::Utils::GetJWTTokenInfo(Token(GoodHeader, GoodClaims), info));
  EXPECT_EQ(info.TokenType, "JWT");
  EXPECT_EQ(info.TokenAlgo, "RS256");
  EXPECT_EQ(info.TokenKeyID, "k-1");
  EXPECT_EQ(info.ExpireAt, ZEL::Time::FromUnixSeconds(1741000000));

  // Type and algorithm are compared upper-cased and given back upper-cased.
  ASSERT_TRUE(ZEL::Utils::GetJWTTokenInfo(
      Token(R"({"alg":"rs256","kid":"k-2","typ":"jwt"})", GoodClaims), info));
  EXPECT_EQ(info.TokenType, "JWT");
  EXPECT_EQ(info.TokenAlgo, "RS256");
  EXPECT_EQ(info.TokenKeyID, "k-2");
}

TEST_F(JWTTokenInfo, RejectsTokensOfAnotherKind) {
  const struct {
    const char* Why;
    std::string Header;
    std::string Claims;
  } cases[] = {
      {"audience upper-cased", GoodHeader, R"({"aud":"ZELDEVSTAND","exp":1741000000})"},
      {"other project's audience", GoodHeader, R"({"aud":"fvtaqpaundl","exp":1741000000})"},
      {"no audience", GoodHeader, R"({"exp":1741000000})"},
      {"audience not a text", GoodHeader, R"({"aud":["zeldevstand"],"exp":1741000000})"},
      {"no expiry", GoodHeader, R"({"aud":"zeldevstand"})"},
      {"expiry not a number", GoodHeader, R"({"aud":"zeldevstand","exp":"1741000000"})"},
      {"expiry out of range", GoodHeader, R"({"aud":"zeldevstand","exp":1e300})"},
      {"no key id", R"({"alg":"RS256","typ":"JWT"})", GoodClaims},
      {"empty key id", R"({"alg":"RS256","kid":"","typ":"JWT"})", GoodClaims},
      {"no type", R"({"alg":"RS256","kid":"k"})", GoodClaims},
      {"other type", R"({"alg":"RS256","kid":"k","typ":"JWS"})", GoodClaims},
      {"other algorithm", R"({"alg":"HS256","kid":"k","typ":"JWT"})", GoodClaims},
      {"unsigned", R"({"alg":"none","kid":"k","typ":"JWT"})", GoodClaims},
  };
  for (const auto& c : cases) {
    ZEL::TTokenInfo info = Stale();
    EXPECT_FALSE(ZEL::Utils::GetJWTTokenInfo(Token(c.Header, c.Claims), info)) << c.Why;
    ExpectCleared(info);
  }
}

TEST_F(JWTTokenInfo, GarbageIsRejectedWithoutAnException) {
  const std::string goodH = B64Url(GoodHeader), goodC = B64Url(GoodClaims);
  for (const std::string& token :
       {std::string(), std::string("abc"), std::string("a.b.c"), std::string(".."),
        goodH + "." + goodC,                          // no signature part at all
        goodH + "." + goodC + ".s.extra",             // too many parts
        "%%%." + goodC + ".sig",                      // not base64url
        goodH + "." + B64Url("{\"aud\":") + ".sig",   // claims not JSON
        B64Url("[1,2]") + "." + goodC + ".sig",       // header not an object
        goodH + "." + B64Url("\"text\"") + ".sig",    // claims not an object
        std::string("\xff\xfe.\x01\x02.\x03", 7)}) {
    ZEL::TTokenInfo info = Stale();
    bool result = true;
    EXPECT_NO_THROW(result = ZEL::Utils::GetJWTTokenInfo(token, info)) << token;
    EXPECT_FALSE(result) << token;
    ExpectCleared(info);
  }
}

TEST_F(JWTTokenInfo, EmulatorTokensOnlyWhileTheEmulatorIsNamed) {
  // The emulator's tokens: alg "none", no key id, empty signature.
  const std::string unsigned_ = Token(R"({"alg":"none","typ":"JWT"})", GoodClaims, "");
  ZEL::TTokenInfo info;
  EXPECT_FALSE(ZEL::Utils::GetJWTTokenInfo(unsigned_, info));
  {
    ZEL::Test::TScopedEnv emulator("FIREBASE_AUTH_EMULATOR_HOST", "127.0.0.1:9099");
    ASSERT_TRUE(ZEL::Utils::GetJWTTokenInfo(unsigned_, info));
    EXPECT_EQ(info.TokenAlgo, "NONE");
    EXPECT_EQ(info.TokenKeyID, "");
    EXPECT_EQ(info.ExpireAt, ZEL::Time::FromUnixSeconds(1741000000));
    // Type, audience and expiry still count.
    EXPECT_FALSE(ZEL::Utils::GetJWTTokenInfo(Token(R"({"alg":"none"})", GoodClaims, ""), info));
    EXPECT_FALSE(ZEL::Utils::GetJWTTokenInfo(
        Token(R"({"alg":"none","typ":"JWT"})", R"({"aud":"other","exp":1})", ""), info));
    EXPECT_FALSE(ZEL::Utils::GetJWTTokenInfo(
        Token(R"({"alg":"none","typ":"JWT"})", R"({"aud":"zeldevstand"})", ""), info));
    EXPECT_FALSE(ZEL::Utils::GetJWTTokenInfo(
        Token(R"({"alg":"HS256","typ":"JWT"})", GoodClaims, ""), info));
  }
  EXPECT_FALSE(ZEL::Utils::GetJWTTokenInfo(unsigned_, info));
}
