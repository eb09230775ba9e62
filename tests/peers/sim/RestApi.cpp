#include "RestApi.h"

#include "IdToken.h"
#include "Png.h"
#include "Simulator.h"

#include <httplib.h>
#include <openssl/ssl.h>

#include <cstdio>
#include <filesystem>

namespace ZelSim {

namespace {

using Handler = std::function<void(const httplib::Request&, httplib::Response&, const std::string& AEmail)>;

void Answer(httplib::Response& ARes, int AStatus, const json& ABody) {
  ARes.status = AStatus;
  ARes.set_content(ABody.dump(), "application/json");
}

void Refuse(httplib::Response& ARes, int AStatus, const std::string& AText) {
  Answer(ARes, AStatus, json{{"error", AText}});
}

json Rooted(const char* ARoot, json AValue) {
  json body = json::object();
  body[ARoot] = std::move(AValue);
  return body;
}

std::optional<TInstant> PeriodBound(const httplib::Request& AReq, const char* AName) {
  if (!AReq.has_param(AName) || AReq.get_param_value(AName).empty()) return std::nullopt;
  TInstant t;
  if (!ParseISO8601(AReq.get_param_value(AName), t))
    throw ESimError(400, std::string("\"") + AName + "\" is not an ISO 8601 date and time");
  return t;
}

std::string RequiredParam(const httplib::Request& AReq, const char* AName) {
  if (!AReq.has_param(AName) || AReq.get_param_value(AName).empty())
    throw ESimError(400, std::string("query \"") + AName + "\" missing");
  return AReq.get_param_value(AName);
}

}  // namespace

TRestApi::TRestApi(TSimulator& ASim) : FSim(ASim) {}

TRestApi::~TRestApi() { Stop(); }

bool TRestApi::Start(const std::string& ACertFile, const std::string& AKeyFile, int APort, std::string& AError) {
  for (const auto& f : {ACertFile, AKeyFile})
    if (!std::filesystem::is_regular_file(f)) {
      AError = "REST TLS file not found: \"" + f + "\"";
      return false;
    }
  FServer = std::make_unique<httplib::SSLServer>(ACertFile.c_str(), AKeyFile.c_str());
  if (!FServer->is_valid()) {
    AError = "the REST certificate or key cannot be loaded";
    return false;
  }
  // The client speaks TLS 1.2 or 1.3 only; so does the backend.
  SSL_CTX_set_min_proto_version(FServer->ssl_context(), TLS1_2_VERSION);
  Routes();
  FPort = APort == 0 ? FServer->bind_to_any_port("127.0.0.1") : (FServer->bind_to_port("127.0.0.1", APort) ? APort : -1);
  if (FPort <= 0) {
    AError = "cannot bind the REST port " + std::to_string(APort) + " on 127.0.0.1";
    return false;
  }
  FThread = std::thread([this] { FServer->listen_after_bind(); });
  return true;
}

void TRestApi::Stop() {
  if (FServer) FServer->stop();
  if (FThread.joinable()) FThread.join();
}

void TRestApi::Routes() {
  // Every endpoint: a fault set by the control port first, then the identity token, then the
  // answer. Refusals carry a JSON body with "error".
  auto guarded = [this](const std::string& APath, const char* ARoot, bool ANeedsToken, Handler AHandler) {
    return [this, APath, ARoot, ANeedsToken, AHandler](const httplib::Request& req, httplib::Response& res) {
      FSim.World().RecordCall(APath);
      int slowMs = 0;
      bool noID = false;
      if (auto fault = FSim.Faults().TakeEndpoint(APath); fault && fault->Mode == "noid") {
        std::fprintf(stderr, "[sim] REST %s: first element without \"ObjectId\"\n", APath.c_str());
        noID = true;
      } else if (fault && fault->Mode == "slow") {
        // The answer is what the backend knew now; it reaches the client only later, as over a
        // slow line, so what happens meanwhile is not in it.
        std::fprintf(stderr, "[sim] REST %s: slow answer (%d ms)\n", APath.c_str(), fault->DelayMs);
        slowMs = fault->DelayMs;
      } else if (fault) {
        std::fprintf(stderr, "[sim] REST %s: injected fault \"%s\"\n", APath.c_str(), fault->Mode.c_str());
        if (fault->Mode == "500") return Refuse(res, 500, "injected server error");
        if (fault->Mode == "malformed") {
          res.status = 200;
          res.set_content(std::string("{\"") + (ARoot ? ARoot : "result") + "\": [{\"ObjectId\": ",
                          "application/json");
          return;
        }
        if (fault->Mode == "deep") {
          // Valid JSON whose one element holds a member nested 70,000 levels deep.
          constexpr std::size_t levels = 70000;
          std::string body = std::string("{\"") + (ARoot ? ARoot : "result") + "\": [{\"_id\": \"d1\", \"deep\": ";
          body.append(levels, '[');
          body.append(levels, ']');
          body += "}]}";
          res.status = 200;
          res.set_content(body, "application/json");
          return;
        }
        for (int waited = 0; waited < fault->DelayMs && !FSim.Stopping(); waited += 100)
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return Refuse(res, 504, "injected time-out");
      }
      std::string email;
      if (ANeedsToken) {
        std::string token = req.get_header_value("AuthToken");
        if (token.empty() && APath == "/extra") token = req.get_param_value("AuthToken");
        const TTokenCheck check = CheckIdToken(token, FSim.Options().Audience, Now());
        if (!check.Valid) return Refuse(res, 401, check.Reason);
        if (!FSim.World().IsKnownUser(check.Email)) return Refuse(res, 401, "unknown user " + check.Email);
        email = check.Email;
      }
      try {
        AHandler(req, res, email);
        if (noID && ARoot) {
          json body = json::parse(res.body, nullptr, false);
          if (body.is_object() && body[ARoot].is_array() && !body[ARoot].empty()) body[ARoot][0].erase("ObjectId");
          res.set_content(body.dump(), "application/json");
        }
      } catch (const ESimError& e) {
        Refuse(res, e.Code, e.what());
      } catch (const std::exception& e) {
        Refuse(res, 500, e.what());
      }
      for (int waited = 0; waited < slowMs && !FSim.Stopping(); waited += 50)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    };
  };

  FServer->Get("/authZelUser", guarded("/authZelUser", nullptr, true, [this](auto&, auto& res, auto& email) {
    const auto rec = FSim.World().UserRecordByEmail(email);
    if (!rec) return Refuse(res, 404, "no user record");
    Answer(res, 200, *rec);
  }));

  // The registration view checks an invitation before the account exists, so the code itself
  // is the credential here.
  FServer->Get("/verifyZelInvite", guarded("/verifyZelInvite", nullptr, false, [this](auto& req, auto& res, auto&) {
    const auto rec = FSim.World().UserRecordByInvite(RequiredParam(req, "inviteCode"));
    Answer(res, 200, rec ? *rec : json{{"result", false}});
  }));

  FServer->Get("/isValidToken", guarded("/isValidToken", nullptr, true, [](auto&, auto& res, auto&) {
    Answer(res, 200, json{{"result", true}});
  }));

  FServer->Get("/sync", guarded("/sync", "Sync", true, [this](auto&, auto& res, auto&) {
    Answer(res, 200, Rooted("Sync", FSim.World().SyncArray()));
  }));

  FServer->Get("/eventAlerts", guarded("/eventAlerts", "EventAlerts", true, [this](auto& req, auto& res, auto&) {
    if (req.has_param("eventid")) {
      const std::string id = RequiredParam(req, "eventid");
      const auto alert = FSim.World().AlertById(id);
      if (!alert) return Refuse(res, 404, "no alert " + id);
      return Answer(res, 200, Rooted("EventAlerts", json::array({*alert})));
    }
    const auto begin = PeriodBound(req, "beginPeriod");
    const auto end = PeriodBound(req, "endPeriod");
    Answer(res, 200, Rooted("EventAlerts", FSim.World().AlertsInPeriod(begin, end)));
  }));

  FServer->Get("/eventAlertItems", guarded("/eventAlertItems", "EventAlertItems", true, [this](auto& req, auto& res, auto&) {
    const std::string id = RequiredParam(req, "alertId");
    const auto items = FSim.World().ItemsOfAlert(id);
    if (!items) return Refuse(res, 404, "no alert " + id);
    Answer(res, 200, Rooted("EventAlertItems", *items));
  }));

  FServer->Get("/eventAlertItemExtra", guarded("/eventAlertItemExtra", "EventAlertItemExtra", true,
                                               [this](auto& req, auto& res, auto&) {
    const std::string id = RequiredParam(req, "alertItemId");
    const auto extras = FSim.World().ExtrasOfItem(id);
    if (!extras) return Refuse(res, 404, "no alert item " + id);
    Answer(res, 200, Rooted("EventAlertItemExtra", *extras));
  }));

  // GET and HEAD (the server answers HEAD from the GET route, without the body).
  FServer->Get("/extra", guarded("/extra", nullptr, true, [this](auto& req, auto& res, auto&) {
    const std::string id = RequiredParam(req, "objectid");
    const auto info = FSim.World().ExtraById(id);
    if (!info) return Refuse(res, 404, "no attachment " + id);
    if (info->State != 2)
      return Refuse(res, 404, "attachment " + id + " is not available (state " + std::to_string(info->State) + ")");
    res.status = 200;
    if (info->DataType == 1)
      res.set_content(MakePng(id), "image/png");
    else
      res.set_content(FSim.Clip(), "video/webm");
  }));

  FServer->set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (res.body.empty()) Refuse(res, res.status, res.status == 404 ? "no such endpoint" : "bad request");
  });
}

}  // namespace ZelSim
