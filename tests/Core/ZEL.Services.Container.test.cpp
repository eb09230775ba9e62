#include "ZEL.Services.Container.h"

#include "ZEL.Services.Factory.h"
#include "ZEL.Services.Fakes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace ZEL;
using namespace ZEL::Services::Container;
using ZEL::LogsPipe::TCapturedEntry;
using ZEL::LogsPipe::TLogCapture;

namespace {

ZEL_DECLARE_EXCEPTION(ETestCreateFailure, EZELException)

template <class T>
std::string LookupTag() {
  return "TZELIocServiceLocator.GetService<" + std::string(T::TypeName) + ">";
}

struct TExpected {
  TLogType Type;
  std::string Message;
};

void ExpectEntries(const std::vector<TCapturedEntry>& AEntries, const std::vector<TExpected>& AExpected) {
  ASSERT_EQ(AEntries.size(), AExpected.size());
  for (size_t I = 0; I < AEntries.size(); ++I) {
    EXPECT_EQ(AEntries[I].Type, AExpected[I].Type) << "entry " << I;
    EXPECT_EQ(AEntries[I].Message, AExpected[I].Message) << "entry " << I;
  }
}

// Leaves the global container without the seven services and no ZEL container, before
// and after each test.
class TServicesContainer : public ::testing::Test {
protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }

  static void Reset() {
    FreeZELServicesContainer();
    FreeGlobalServiceLocator();
    auto& G = GlobalContainer();
    G.Unregister<IFirebaseCloudMessaging>();
    G.Unregister<IApplicationData>();
    G.Unregister<IAuthService>();
    G.Unregister<IZELRESTService>();
    G.Unregister<IZELEventsService>();
    G.Unregister<IZELEdgeService>();
    G.Unregister<IZELMQTTService>();
  }

  template <class I, class TFake>
  static std::shared_ptr<I> RegisterAndBuild(TIocContainer& AContainer) {
    AContainer.RegisterType<I>([] { return std::make_shared<TFake>(); });
    AContainer.Build();
    return AContainer.Resolve<I>();
  }
};

TEST_F(TServicesContainer, GlobalServiceFoundLogsFiveDebugEntries) {
  auto LAuth = RegisterAndBuild<IAuthService, ZEL::Test::TFakeAuthService>(GlobalContainer());
  TLogCapture LCapture;
  EXPECT_EQ(ZELServiceLocator()->GetService<IAuthService>(), LAuth);
  EXPECT_EQ(LookupTag<IAuthService>(), "TZELIocServiceLocator.GetService<IAuthService>");
  ExpectEntries(LCapture.WithTag(LookupTag<IAuthService>()),
                {{TLogType::Debug, "Start"},
                 {TLogType::Debug, "Resolving from global..."},
                 {TLogType::Debug, "Resolving from global... resolved."},
                 {TLogType::Debug, "End LResolved = True ZELComtainer = False"},
                 {TLogType::Debug, "End LResolved = True"}});
}

TEST_F(TServicesContainer, MissingGlobalServiceGivesNoneAndOneFatal) {
  TLogCapture LCapture;
  EXPECT_EQ(ZELServiceLocator()->GetService<IAuthService>(), nullptr);
  ExpectEntries(LCapture.WithTag(LookupTag<IAuthService>()),
                {{TLogType::Debug, "Start"},
                 {TLogType::Debug, "Resolving from global..."},
                 {TLogType::Fatal, "Resolving from global... FAILED. EIocResolverError:IAuthService is not registered"},
                 {TLogType::Debug, "End LResolved = False ZELComtainer = False"},
                 {TLogType::Debug, "End LResolved = False"}});
}

TEST_F(TServicesContainer, ZELServiceWithoutZELContainerGivesNoneWithoutFatal) {
  // Registered in the wrong container: the routing never looks there.
  RegisterAndBuild<IZELMQTTService, ZEL::Test::TFakeMQTTService>(GlobalContainer());
  TLogCapture LCapture;
  EXPECT_EQ(ZELServiceLocator()->GetService<IZELMQTTService>(), nullptr);
  ExpectEntries(LCapture.WithTag(LookupTag<IZELMQTTService>()),
                {{TLogType::Debug, "Start"},
                 {TLogType::Debug, "End LResolved = False ZELComtainer = False"},
                 {TLogType::Debug, "End LResolved = False"}});
}

TEST_F(TServicesContainer, ZELServiceFoundAndMissingInZELContainer) {
  CreateZELServicesContainer();
  auto LEdge = RegisterAndBuild<IZELEdgeService, ZEL::Test::TFakeEdgeService>(*ZELServicesContainer());
  TLogCapture LCapture;
  EXPECT_EQ(ZELServiceLocator()->GetService<IZELEdgeService>(), LEdge);
  ExpectEntries(LCapture.WithTag(LookupTag<IZELEdgeService>()),
                {{TLogType::Debug, "Start"},
                 {TLogType::Debug, "End LResolved = False ZELComtainer = True"},
                 {TLogType::Debug, "Resolving from ZEL..."},
                 {TLogType::Debug, "Resolving from ZEL... resolved."},
                 {TLogType::Debug, "End LResolved = True"}});

  EXPECT_EQ(ZELServiceLocator()->GetService<IZELEventsService>(), nullptr);
  ExpectEntries(LCapture.WithTag(LookupTag<IZELEventsService>()),
                {{TLogType::Debug, "Start"},
                 {TLogType::Debug, "End LResolved = False ZELComtainer = True"},
                 {TLogType::Debug, "Resolving from ZEL..."},
                 {TLogType::Fatal, "Resolving from ZEL... FAILED. EIocResolverError:IZELEventsService is not registered"},
                 {TLogType::Debug, "End LResolved = False"}});
}

// Each interface is looked up only in its own container, whatever the other one holds.
TEST_F(TServicesContainer, EachInterfaceIsRoutedToItsContainer) {
  CreateZELServicesContainer();
  auto& LGlobal = GlobalContainer();
  auto& LZEL = *ZELServicesContainer();
  auto LFirebase = RegisterAndBuild<IFirebaseCloudMessaging, ZEL::Test::TFakeFirebase>(LGlobal);
  auto LAppData = RegisterAndBuild<IApplicationData, ZEL::Test::TFakeApplicationData>(LGlobal);
  auto LAuth = RegisterAndBuild<IAuthService, ZEL::Test::TFakeAuthService>(LGlobal);
  auto LREST = RegisterAndBuild<IZELRESTService, ZEL::Test::TFakeRESTService>(LGlobal);
  auto LEvents = RegisterAndBuild<IZELEventsService, ZEL::Test::TFakeEventsService>(LZEL);
  auto LEdge = RegisterAndBuild<IZELEdgeService, ZEL::Test::TFakeEdgeService>(LZEL);
  auto LMQTT = RegisterAndBuild<IZELMQTTService, ZEL::Test::TFakeMQTTService>(LZEL);
  // Decoys in the wrong containers.
  RegisterAndBuild<IAuthService, ZEL::Test::TFakeAuthService>(LZEL);
  RegisterAndBuild<IZELEdgeService, ZEL::Test::TFakeEdgeService>(LGlobal);

  auto LLocator = ZELServiceLocator();
  EXPECT_EQ(LLocator->GetService<IFirebaseCloudMessaging>(), LFirebase);
  EXPECT_EQ(LLocator->GetService<IApplicationData>(), LAppData);
  EXPECT_EQ(LLocator->GetService<IAuthService>(), LAuth);
  EXPECT_EQ(LLocator->GetService<IZELRESTService>(), LREST);
  EXPECT_EQ(LLocator->GetService<IZELEventsService>(), LEvents);
  EXPECT_EQ(LLocator->GetService<IZELEdgeService>(), LEdge);
  EXPECT_EQ(LLocator->GetService<IZELMQTTService>(), LMQTT);
}

TEST_F(TServicesContainer, FreeReleasesZELServicesAndKeepsGlobalOnes) {
  auto LAuth = RegisterAndBuild<IAuthService, ZEL::Test::TFakeAuthService>(GlobalContainer());
  CreateZELServicesContainer();
  std::weak_ptr<IZELEdgeService> LEdge = RegisterAndBuild<IZELEdgeService, ZEL::Test::TFakeEdgeService>(*ZELServicesContainer());
  std::weak_ptr<TZELIocServiceLocator> LOldLocator = ZELServiceLocator();

  FreeZELServicesContainer();
  EXPECT_TRUE(LEdge.expired());
  EXPECT_TRUE(LOldLocator.expired()) << "the ZEL locator goes with the container";
  EXPECT_FALSE(ZELServicesContainerExists());
  EXPECT_EQ(ZELServicesContainer(), nullptr);

  TLogCapture LCapture;
  EXPECT_EQ(ZELServiceLocator()->GetService<IZELEdgeService>(), nullptr);
  EXPECT_EQ(ZELServiceLocator()->GetService<IAuthService>(), LAuth);
  for (const auto& E : LCapture.Entries()) EXPECT_NE(E.Type, TLogType::Fatal) << E.Message;

  EXPECT_NO_THROW(FreeZELServicesContainer());
  EXPECT_NO_THROW(FreeGlobalServiceLocator());
  EXPECT_NO_THROW(FreeGlobalServiceLocator());
}

TEST_F(TServicesContainer, CreatingTwiceFailsTheAssertionAndKeepsTheContainer) {
  CreateZELServicesContainer();
  EXPECT_TRUE(ZELServicesContainerExists());
  auto LContainer = ZELServicesContainer();
  auto LEdge = RegisterAndBuild<IZELEdgeService, ZEL::Test::TFakeEdgeService>(*LContainer);
  try {
    CreateZELServicesContainer();
    FAIL() << "no assertion";
  } catch (const EAssertionFailed& E) {
    EXPECT_STREQ(E.what(), "CreateZELIoCContainer called twice.");
  }
  EXPECT_EQ(ZELServicesContainer(), LContainer);
  EXPECT_EQ(ZELServiceLocator()->GetService<IZELEdgeService>(), LEdge);

  FreeZELServicesContainer();
  EXPECT_NO_THROW(CreateZELServicesContainer()) << "allowed again after a free";
}

TEST_F(TServicesContainer, GlobalLocatorLetsErrorsThroughWithoutLogging) {
  auto LLocator = GlobalServiceLocator();
  EXPECT_EQ(GlobalServiceLocator(), LLocator);
  TLogCapture LCapture;
  EXPECT_THROW(LLocator->GetService<IAuthService>(), EIocResolverError);
  auto LAuth = RegisterAndBuild<IAuthService, ZEL::Test::TFakeAuthService>(GlobalContainer());
  EXPECT_EQ(LLocator->GetService<IAuthService>(), LAuth);
  for (const auto& E : LCapture.Entries()) EXPECT_EQ(E.Tag.find("GetService"), std::string::npos) << E.Tag;
}

TEST_F(TServicesContainer, LoggedFactoryLogsItsStepsAndTurnsFailureIntoNone) {
  TLogCapture LCapture;
  auto& LGlobal = GlobalContainer();
  Services::Factory::RegisterLogged<IApplicationData>(LGlobal, "TZELMainActivity.SetupServices", "TApplicationData",
                                                      [] { return std::make_shared<ZEL::Test::TFakeApplicationData>(); });
  Services::Factory::RegisterLogged<IAuthService>(
      LGlobal, "TZELMainActivity.SetupServices", "TAuthService",
      []() -> std::shared_ptr<IAuthService> { throw ETestCreateFailure("settings locked"); });
  EXPECT_NO_THROW(LGlobal.Build());
  ExpectEntries(LCapture.WithTag("TZELMainActivity.SetupServices"),
                {{TLogType::Debug, "Creating TApplicationData..."},
                 {TLogType::Debug, "Creating TApplicationData... done."},
                 {TLogType::Debug, "Creating TAuthService..."},
                 {TLogType::Fatal, "Exception at TAuthService: ETestCreateFailure Message: settings locked"}});

  EXPECT_NE(ZELServiceLocator()->GetService<IApplicationData>(), nullptr);
  EXPECT_EQ(ZELServiceLocator()->GetService<IAuthService>(), nullptr);
  const auto LLookup = LCapture.WithTag(LookupTag<IAuthService>());
  ASSERT_EQ(LLookup.size(), 5u);
  EXPECT_EQ(LLookup[2].Type, TLogType::Fatal);
  EXPECT_EQ(LLookup[2].Message, "Resolving from global... FAILED. EIocResolverError:IAuthService has no instance");
  EXPECT_EQ(LLookup[4].Message, "End LResolved = False");
}

}  // namespace
