#include "ControlApi.h"

#include "Simulator.h"

#include <httplib.h>

#include <stdexcept>

namespace ZelSim {

namespace {

using Body = std::function<json(const json& AArgs)>;

void Reply(httplib::Response& ARes, int AStatus, const json& ABody) {
  ARes.status = AStatus;
  ARes.set_content(ABody.dump(2) + "\n", "application/json");
}

// Parses the body (empty means {}), runs the operation and turns every refusal into a 4xx.
httplib::Server::Handler Guard(Body AOperation) {
  return [AOperation](const httplib::Request& req, httplib::Response& res) {
    json args = req.body.empty() ? json::object() : json::parse(req.body, nullptr, false);
    if (args.is_discarded() || !args.is_object())
      return Reply(res, 400, json{{"error", "the body must be a JSON object"}});
    try {
      Reply(res, 200, AOperation(args));
    } catch (const ESimError& e) {
      Reply(res, e.Code, json{{"error", e.what()}});
    } catch (const std::invalid_argument& e) {
      Reply(res, 400, json{{"error", e.what()}});
    } catch (const json::exception& e) {
      Reply(res, 400, json{{"error", std::string("bad argument: ") + e.what()}});
    } catch (const std::exception& e) {
      Reply(res, 500, json{{"error", e.what()}});
    }
  };
}

int IntField(const json& AArgs, const char* AKey, int ADefault, int AMin, int AMax) {
  if (!AArgs.contains(AKey) || AArgs[AKey].is_null()) return ADefault;
  if (!AArgs[AKey].is_number_integer() || AArgs[AKey].get<long long>() < AMin || AArgs[AKey].get<long long>() > AMax)
    throw std::invalid_argument(std::string("\"") + AKey + "\" must be an integer from " + std::to_string(AMin) +
                                " to " + std::to_string(AMax));
  return AArgs[AKey].get<int>();
}

std::string TextField(const json& AArgs, const char* AKey) {
  if (!AArgs.contains(AKey) || !AArgs[AKey].is_string())
    throw std::invalid_argument(std::string("\"") + AKey + "\" (text) is required");
  return AArgs[AKey].get<std::string>();
}

}  // namespace

TControlApi::TControlApi(TSimulator& ASim) : FSim(ASim) {}

TControlApi::~TControlApi() { Stop(); }

bool TControlApi::Start(int APort, std::string& AError) {
  FServer = std::make_unique<httplib::Server>();
  Routes();
  FPort = APort == 0 ? FServer->bind_to_any_port("127.0.0.1") : (FServer->bind_to_port("127.0.0.1", APort) ? APort : -1);
  if (FPort <= 0) {
    AError = "cannot bind the control port " + std::to_string(APort) + " on 127.0.0.1";
    return false;
  }
  FThread = std::thread([this] { FServer->listen_after_bind(); });
  return true;
}

void TControlApi::Stop() {
  if (FServer) FServer->stop();
  if (FThread.joinable()) FThread.join();
}

void TControlApi::Routes() {
  auto& s = *FServer;
  s.Get("/health", Guard([this](const json&) { return FSim.Health(); }));
  s.Get("/state", Guard([this](const json&) { return FSim.World().Snapshot(); }));
  s.Post("/alerts", Guard([this](const json& a) { return FSim.RaiseAlert(a); }));
  s.Post("/items", Guard([this](const json& a) { return FSim.AddItem(a); }));
  s.Post("/attachments", Guard([this](const json& a) { return FSim.MoveAttachment(a); }));
  s.Get("/requests", Guard([this](const json&) { return FSim.World().RequestLog(); }));
  s.Get("/calls", Guard([this](const json&) { return FSim.World().CallLog(); }));
  s.Post("/requests/policy", Guard([this](const json& a) {
    TRequestPolicy p;
    p.Mode = TextField(a, "mode");
    p.Remaining = IntField(a, "count", -1, 1, 1000000);
    p.DelayMs = IntField(a, "delayMs", p.Mode == "delay" ? 2000 : 0, 0, 3600000);
    p.Code = IntField(a, "code", 500, 100, 999);
    FSim.Faults().SetPolicy(p);
    return FSim.Faults().Describe();
  }));
  s.Get("/faults", Guard([this](const json&) { return FSim.Faults().Describe(); }));
  s.Post("/faults", Guard([this](const json& a) {
    const std::string path = TextField(a, "path");
    const std::string mode = TextField(a, "mode");
    if (mode == "none") {
      FSim.Faults().ClearEndpoint(path);
    } else {
      TEndpointFault f;
      f.Mode = mode;
      f.Remaining = IntField(a, "count", -1, 1, 1000000);
      f.DelayMs = IntField(a, "delayMs", 65000, 0, 3600000);
      FSim.Faults().SetEndpoint(path, f);
    }
    return FSim.Faults().Describe();
  }));
  s.Delete("/faults", Guard([this](const json&) {
    FSim.Faults().ClearAll();
    return FSim.Faults().Describe();
  }));
  s.Post("/reset", Guard([this](const json&) {
    FSim.Reset();
    return json{{"reset", true}};
  }));
  s.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (!res.body.empty()) return;
    Reply(res, res.status,
          json{{"error", res.status == 404 ? "no such control endpoint or method"
                                           : "bad request (a POST needs a body, or Content-Length: 0)"}});
  });
  s.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
    Reply(res, 500, json{{"error", "internal error"}});
  });
}

}  // namespace ZelSim
