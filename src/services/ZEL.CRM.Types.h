#pragma once
// The backend's own record of a user (the answer of "/authZelUser" and "/verifyZelInvite")
// and of the user's organisation.

#include "ZEL.Exceptions.h"
#include "ZEL.Time.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ZEL {

// A field the client relies on holds a value of the wrong JSON type.
ZEL_DECLARE_EXCEPTION(EZELUserRecordError, EZELException)

class TOrganization {
public:
  static constexpr std::string_view TypeName = "TOrganization";

  std::int32_t __V = 0;
  std::string ID;  // "_id"
  std::string code;
  Time::TInstant created = Time::MissingDate;
  std::vector<std::string> endCustomers;
  Time::TInstant modified = Time::MissingDate;
  std::string name;
  bool skipWarrantyEmails = false;
  std::vector<std::string> subUsers;
  std::string OrgType;  // "type"
  std::vector<std::string> users;
};

class TZELUserRecord {
public:
  static constexpr std::string_view TypeName = "TZELUserRecord";

  TZELUserRecord() : FOrganization(std::make_unique<TOrganization>()) {}

  // Reads an answer object. Fields the client uses ("_id", "email", "name", "escalated",
  // "nonEscalated", the organisation's "_id" and "code") must have their JSON type or be
  // absent/null, else EZELUserRecordError; odd values elsewhere leave the field empty.
  static std::unique_ptr<TZELUserRecord> FromJSON(const nlohmann::ordered_json& AObject);

  std::int32_t __V = 0;
  std::string ID;  // "_id"
  std::string activateToken;
  std::string alertSettings;
  Time::TInstant created = Time::MissingDate;
  std::string defaultPresentation;
  std::string defaultStatusView;
  std::string email;
  std::string hash;
  std::vector<std::string> ipList;
  bool isActive = false;
  Time::TInstant modified = Time::MissingDate;
  std::string name;
  std::vector<std::string> organizations;
  std::string resetToken;
  std::string role;
  std::string salt;
  bool scanNow = false;
  bool Escalated = false;     // "escalated"
  bool NonEscalated = false;  // "nonEscalated"

  // Never null.
  const TOrganization& organization() const { return *FOrganization; }
  TOrganization& organization() { return *FOrganization; }

private:
  std::unique_ptr<TOrganization> FOrganization;
};

}  // namespace ZEL

namespace ZEL::CRM::Types {

// The answer text with the record's secrets ("hash", "salt", "activateToken", "resetToken",
// also inside "organization") masked, for log lines; a text that is no JSON object comes back
// unchanged.
std::string MaskedForLog(std::string_view AAnswer);

}  // namespace ZEL::CRM::Types
