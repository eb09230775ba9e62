#include "ZEL.CRM.Types.h"
#include "ZEL.JSON.Helpers.h"

#include <fmt/format.h>

#include "ZEL.Secrets.h"

#include <limits>

namespace ZEL {

namespace {

using TJSON = nlohmann::ordered_json;

// The value under AKey, or null when it is absent (JSON null counts as absent).
const TJSON* Member(const TJSON& AObject, const char* AKey) {
  const auto it = AObject.find(AKey);
  if (it == AObject.end() || it->is_null()) return nullptr;
  return &*it;
}

[[noreturn]] void WrongType(const std::string& APath, const char* AExpected) {
  throw EZELUserRecordError("Invalid user record: \"" + APath + "\" is not " + AExpected + ".");
}

// Fields the client uses: a wrong type fails the reading.
void StrictText(const TJSON& AObject, const char* AKey, const std::string& APath, std::string& AField) {
  if (const TJSON* v = Member(AObject, AKey)) {
    if (!v->is_string()) WrongType(APath, "a text");
    AField = v->get<std::string>();
  }
}

void StrictBool(const TJSON& AObject, const char* AKey, const std::string& APath, bool& AField) {
  if (const TJSON* v = Member(AObject, AKey)) {
    if (!v->is_boolean()) WrongType(APath, "a Boolean");
    AField = v->get<bool>();
  }
}

// Fields only carried along: an odd value leaves the field empty.
void LooseText(const TJSON& AObject, const char* AKey, std::string& AField) {
  if (const TJSON* v = Member(AObject, AKey); v && v->is_string()) AField = v->get<std::string>();
}

void LooseBool(const TJSON& AObject, const char* AKey, bool& AField) {
  if (const TJSON* v = Member(AObject, AKey); v && v->is_boolean()) AField = v->get<bool>();
}

void LooseInt(const TJSON& AObject, const char* AKey, std::int32_t& AField) {
  if (const TJSON* v = Member(AObject, AKey); v && v->is_number_integer()) {
    const auto n = v->get<std::int64_t>();
    if (n >= std::numeric_limits<std::int32_t>::min() && n <= std::numeric_limits<std::int32_t>::max())
      AField = static_cast<std::int32_t>(n);
  }
}

void LooseDate(const TJSON& AObject, const char* AKey, Time::TInstant& AField) {
  if (const TJSON* v = Member(AObject, AKey); v && v->is_string()) {
    Time::TInstant value;
    if (Time::TryParseISO8601(v->get<std::string>(), value)) AField = value;
  }
}

void LooseTexts(const TJSON& AObject, const char* AKey, std::vector<std::string>& AField) {
  const TJSON* v = Member(AObject, AKey);
  if (!v || !v->is_array()) return;
  for (const auto& item : *v)
    if (item.is_string()) AField.push_back(item.get<std::string>());
}

void ReadOrganization(const TJSON& AObject, TOrganization& AOrg) {
  LooseInt(AObject, "__v", AOrg.__V);
  StrictText(AObject, "_id", "organization._id", AOrg.ID);
  StrictText(AObject, "code", "organization.code", AOrg.code);
  LooseDate(AObject, "created", AOrg.created);
  LooseTexts(AObject, "endCustomers", AOrg.endCustomers);
  LooseDate(AObject, "modified", AOrg.modified);
  LooseText(AObject, "name", AOrg.name);
  LooseBool(AObject, "skipWarrantyEmails", AOrg.skipWarrantyEmails);
  LooseTexts(AObject, "subUsers", AOrg.subUsers);
  LooseText(AObject, "type", AOrg.OrgType);
  LooseTexts(AObject, "users", AOrg.users);
}

}  // namespace

std::unique_ptr<TZELUserRecord> TZELUserRecord::FromJSON(const nlohmann::ordered_json& AObject) {
  if (!AObject.is_object()) throw EZELUserRecordError("Invalid user record: the answer is not a JSON object.");
  auto r = std::make_unique<TZELUserRecord>();
  LooseInt(AObject, "__v", r->__V);
  StrictText(AObject, "_id", "_id", r->ID);
  LooseText(AObject, "activateToken", r->activateToken);
  LooseText(AObject, "alertSettings", r->alertSettings);
  LooseDate(AObject, "created", r->created);
  LooseText(AObject, "defaultPresentation", r->defaultPresentation);
  LooseText(AObject, "defaultStatusView", r->defaultStatusView);
  StrictText(AObject, "email", "email", r->email);
  LooseText(AObject, "hash", r->hash);
  LooseTexts(AObject, "ipList", r->ipList);
  LooseBool(AObject, "isActive", r->isActive);
  LooseDate(AObject, "modified", r->modified);
  StrictText(AObject, "name", "name", r->name);
  if (const TJSON* org = Member(AObject, "organization")) {
    if (!org->is_object()) WrongType("organization", "an object");
    ReadOrganization(*org, *r->FOrganization);
  }
  LooseTexts(AObject, "organizations", r->organizations);
  LooseText(AObject, "resetToken", r->resetToken);
  LooseText(AObject, "role", r->role);
  LooseText(AObject, "salt", r->salt);
  LooseBool(AObject, "scanNow", r->scanNow);
  StrictBool(AObject, "escalated", "escalated", r->Escalated);
  StrictBool(AObject, "nonEscalated", "nonEscalated", r->NonEscalated);
  return r;
}

}  // namespace ZEL

namespace ZEL::CRM::Types {

namespace {

void MaskSecrets(nlohmann::ordered_json& AObject) {
  for (const char* key : {"hash", "salt", "activateToken", "resetToken"}) {
    const auto it = AObject.find(key);
    if (it != AObject.end() && it->is_string() && !it->get<std::string>().empty())
      *it = Secrets::Mask(it->get<std::string>());
  }
  if (const auto org = AObject.find("organization"); org != AObject.end() && org->is_object()) MaskSecrets(*org);
}

}  // namespace

std::string MaskedForLog(std::string_view AAnswer) {
  // Too deep to walk safely: only its size is told.
  if (ZEL::JSON::Helpers::NestsDeeperThan(AAnswer)) return fmt::format("({} bytes, nested too deeply)", AAnswer.size());
  auto json = nlohmann::ordered_json::parse(AAnswer, nullptr, false);
  if (json.is_discarded() || !json.is_object()) return std::string(AAnswer);
  MaskSecrets(json);
  return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace ZEL::CRM::Types
