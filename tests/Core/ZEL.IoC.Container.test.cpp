#include "ZEL.IoC.Container.h"

#include "ZEL.LogsPipe.h"
#include "ZEL.Services.Fakes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace ZEL;
using ZEL::LogsPipe::TLogCapture;

namespace {

std::vector<ZEL::LogsPipe::TCapturedEntry> BuildEntries(const TLogCapture& ACapture) {
  return ACapture.WithTag("TIocContainer.Build");
}

TEST(TIocContainer, BuildMakesEachPendingSingletonOnceInRegistrationOrder) {
  TIocContainer LContainer;
  std::vector<std::string> LCalls;
  LContainer.RegisterType<IApplicationData>([&] {
    LCalls.push_back("AppData");
    return std::make_shared<ZEL::Test::TFakeApplicationData>();
  });
  LContainer.RegisterType<IAuthService>([&] {
    LCalls.push_back("Auth");
    return std::make_shared<ZEL::Test::TFakeAuthService>();
  });
  EXPECT_THROW(LContainer.Resolve<IAuthService>(), EIocResolverError) << "not built yet";

  LContainer.Build();
  EXPECT_EQ(LCalls, (std::vector<std::string>{"AppData", "Auth"}));
  auto LAuth = LContainer.Resolve<IAuthService>();
  ASSERT_NE(LAuth, nullptr);
  EXPECT_EQ(LAuth, LContainer.Resolve<IAuthService>()) << "a singleton";

  // A later build makes only what was registered since.
  LContainer.RegisterType<IZELRESTService>([&] {
    LCalls.push_back("REST");
    return std::make_shared<ZEL::Test::TFakeRESTService>();
  });
  LContainer.Build();
  LContainer.Build();
  EXPECT_EQ(LCalls, (std::vector<std::string>{"AppData", "Auth", "REST"}));
  EXPECT_EQ(LAuth, LContainer.Resolve<IAuthService>());
  EXPECT_NE(LContainer.Resolve<IZELRESTService>(), nullptr);
}

TEST(TIocContainer, UnregisteredInterfaceRaisesResolverError) {
  TIocContainer LContainer;
  try {
    LContainer.Resolve<IZELMQTTService>();
    FAIL() << "no error";
  } catch (const EIocResolverError& E) {
    EXPECT_STREQ(E.className(), "EIocResolverError");
    EXPECT_NE(std::string(E.what()).find("IZELMQTTService"), std::string::npos) << E.what();
  }
}

// A factory that fails never makes the build raise; the singleton stays without instance.
TEST(TIocContainer, FailingFactoryIsLoggedAndLeavesNoInstance) {
  struct TCase {
    const char* Name;
    std::function<std::shared_ptr<IAuthService>()> Factory;
    TLogType Level;
    const char* Text;
  };
  const std::vector<TCase> LCases = {
      {"gives nothing", [] { return std::shared_ptr<IAuthService>(); }, TLogType::Error,
       "Factory of IAuthService gave no instance."},
      {"raises ours", []() -> std::shared_ptr<IAuthService> { throw EAssertionFailed("broken"); },
       TLogType::Fatal, "Factory of IAuthService raised EAssertionFailed:broken"},
      {"raises a foreign object", []() -> std::shared_ptr<IAuthService> { throw 42; }, TLogType::Fatal,
       "Factory of IAuthService raised Unknown:"},
  };
  for (const auto& C : LCases) {
    SCOPED_TRACE(C.Name);
    TLogCapture LCapture;
    TIocContainer LContainer;
    LContainer.RegisterType<IAuthService>(C.Factory);
    LContainer.RegisterType<IApplicationData>([] { return std::make_shared<ZEL::Test::TFakeApplicationData>(); });
    EXPECT_NO_THROW(LContainer.Build());
    EXPECT_THROW(LContainer.Resolve<IAuthService>(), EIocResolverError);
    EXPECT_NE(LContainer.Resolve<IApplicationData>(), nullptr) << "later singletons are still made";
    const auto LEntries = BuildEntries(LCapture);
    ASSERT_EQ(LEntries.size(), 1u);
    EXPECT_EQ(LEntries[0].Type, C.Level);
    EXPECT_EQ(LEntries[0].Message, C.Text);
  }
}

TEST(TIocContainer, SingletonWithoutInstanceIsTriedAgainAtNextBuild) {
  TIocContainer LContainer;
  int LCalls = 0;
  LContainer.RegisterType<IAuthService>([&]() -> std::shared_ptr<IAuthService> {
    if (++LCalls == 1) throw std::runtime_error("first time");
    return std::make_shared<ZEL::Test::TFakeAuthService>();
  });
  LContainer.Build();
  EXPECT_THROW(LContainer.Resolve<IAuthService>(), EIocResolverError);
  LContainer.Build();
  EXPECT_EQ(LCalls, 2);
  EXPECT_NE(LContainer.Resolve<IAuthService>(), nullptr);
}

TEST(TIocContainer, FactoryMayUseTheContainerWhileItBuilds) {
  TIocContainer LContainer;
  LContainer.RegisterType<IApplicationData>([] { return std::make_shared<ZEL::Test::TFakeApplicationData>(); });
  std::shared_ptr<IApplicationData> LSeen;
  LContainer.RegisterType<IAuthService>([&] {
    LSeen = LContainer.Resolve<IApplicationData>();
    LContainer.RegisterType<IZELRESTService>([] { return std::make_shared<ZEL::Test::TFakeRESTService>(); });
    LContainer.Build();  // nested: makes the new registration only
    return std::make_shared<ZEL::Test::TFakeAuthService>();
  });
  LContainer.Build();
  EXPECT_NE(LSeen, nullptr);
  EXPECT_NE(LContainer.Resolve<IAuthService>(), nullptr);
  EXPECT_NE(LContainer.Resolve<IZELRESTService>(), nullptr);
}

TEST(TIocContainer, NamedInstancesAreKeptApartFromTheSingleton) {
  TIocContainer LContainer;
  auto LNamed = std::make_shared<ZEL::Test::TFakeEdgeService>();
  LContainer.RegisterInstance<IZELEdgeService>("Other", LNamed);
  EXPECT_EQ(LContainer.Resolve<IZELEdgeService>("Other"), LNamed);
  EXPECT_THROW(LContainer.Resolve<IZELEdgeService>(), EIocResolverError);

  LContainer.RegisterType<IZELEdgeService>([] { return std::make_shared<ZEL::Test::TFakeEdgeService>(); });
  LContainer.Build();
  EXPECT_NE(LContainer.Resolve<IZELEdgeService>(), LNamed);
  EXPECT_EQ(LContainer.Resolve<IZELEdgeService>("Other"), LNamed);
}

TEST(TIocContainer, ReleasesInstancesOnUnregisterReplaceAndDestruction) {
  std::weak_ptr<IAuthService> LFirst, LSecond;
  std::weak_ptr<IZELRESTService> LRest;
  {
    TIocContainer LContainer;
    LContainer.RegisterType<IAuthService>([] { return std::make_shared<ZEL::Test::TFakeAuthService>(); });
    LContainer.RegisterType<IZELRESTService>([] { return std::make_shared<ZEL::Test::TFakeRESTService>(); });
    LContainer.Build();
    LFirst = LContainer.Resolve<IAuthService>();
    LRest = LContainer.Resolve<IZELRESTService>();

    LContainer.RegisterType<IAuthService>([] { return std::make_shared<ZEL::Test::TFakeAuthService>(); });
    EXPECT_TRUE(LFirst.expired()) << "replaced registration drops its instance";
    LContainer.Build();
    LSecond = LContainer.Resolve<IAuthService>();
    EXPECT_FALSE(LSecond.expired());

    EXPECT_TRUE(LContainer.Unregister<IZELRESTService>());
    EXPECT_FALSE(LContainer.Unregister<IZELRESTService>());
    EXPECT_TRUE(LRest.expired());
    EXPECT_THROW(LContainer.Resolve<IZELRESTService>(), EIocResolverError);
  }
  EXPECT_TRUE(LSecond.expired());
}

TEST(TIocContainer, GlobalContainerHoldsTheLogWriterAsZELLog) {
  auto LWriter = GlobalContainer().Resolve<ILogWriter>("ZELLog");
  EXPECT_EQ(LWriter.get(), &LogsPipe::ZELLog());
  EXPECT_EQ(&GlobalContainer(), &GlobalContainer());
}

TEST(TIocServiceLocator, LetsResolutionErrorsThroughAndLogsNothing) {
  TLogCapture LCapture;
  TIocContainer LContainer;
  TIocServiceLocator LLocator(LContainer);
  EXPECT_THROW(LLocator.GetService<IAuthService>(), EIocResolverError);
  LContainer.RegisterType<IAuthService>([] { return std::make_shared<ZEL::Test::TFakeAuthService>(); });
  LContainer.Build();
  EXPECT_EQ(LLocator.GetService<IAuthService>(), LContainer.Resolve<IAuthService>());
  EXPECT_TRUE(LCapture.Entries().empty());
}

}  // namespace
