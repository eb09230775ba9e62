#include <gtest/gtest.h>

#include "ZEL.Exceptions.h"

namespace ZEL {
ZEL_DECLARE_EXCEPTION(ETestOnlyException, EZELException)
}

TEST(Exceptions, ClassNamesOfOursAndOfTheStandardLibrary) {
  EXPECT_EQ(ZEL::Exceptions::ClassNameOf(ZEL::ETestOnlyException("x")), "ETestOnlyException");
  EXPECT_EQ(ZEL::Exceptions::ClassNameOf(std::out_of_range("x")), "std::out_of_range");
  try {
    throw ZEL::ETestOnlyException("boom");
  } catch (...) {
    const auto c = ZEL::Exceptions::DescribeCurrent();
    EXPECT_EQ(c.ClassName, "ETestOnlyException");
    EXPECT_EQ(c.Message, "boom");
  }
  try {
    throw 42;
  } catch (...) {
    EXPECT_EQ(ZEL::Exceptions::DescribeCurrent().ClassName, "Unknown");
  }
  EXPECT_THROW(ZEL::Exceptions::Assert(false, "CreateZELIoCContainer called twice."),
               ZEL::EAssertionFailed);
}
