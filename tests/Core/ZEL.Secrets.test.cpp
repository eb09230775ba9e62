#include <gtest/gtest.h>

#include <string>

#include "ZEL.Secrets.h"

namespace {

using ZEL::Secrets::Mask;

TEST(SecretsTest, MaskShowsAtMostFourLeadingCharactersOfLongTokens) {
  const std::string token = "eyJhbGciOiJSUzI1NiIsImtpZCI6IjEyMyJ9." + std::string(1197, 'x');
  struct TCase {
    std::string In;
    std::string Out;
  } cases[] = {
      {"", "<empty>"},
      {"hunter2", "\u2026(7 chars)"},
      {std::string(31, 'p'), "\u2026(31 chars)"},
      {std::string(32, 'p'), "pppp\u2026(32 chars)"},
      {token, "eyJh\u2026(1234 chars)"},
      // Non-ASCII or blanks at the start give no prefix; characters are counted, not bytes.
      {"p\u00e4ss" + std::string(40, 'w'), "\u2026(44 chars)"},
      {"a b " + std::string(40, 'w'), "\u2026(44 chars)"},
  };
  for (const TCase& c : cases) EXPECT_EQ(Mask(c.In), c.Out) << c.In;
}

}  // namespace
