#include "ZEL.JSON.Writer.h"

#include <fmt/format.h>

#include <cmath>

#include "ZEL.Exceptions.h"

namespace ZEL {

TZELJSONWriter::TZELJSONWriter(TFormatting AFormatting) : FFormatting(AFormatting) {}

void TZELJSONWriter::NewLine() {
  if (FFormatting != TFormatting::Indented) return;
  FText += "\r\n";
  FText.append(FStack.size() * 4, ' ');
}

void TZELJSONWriter::BeforeValue() {
  if (FAfterName) {
    FAfterName = false;
    return;
  }
  if (FStack.empty()) {
    Exceptions::Assert(FText.empty(), "TZELJSONWriter: a second top-level value.");
    return;
  }
  auto& level = FStack.back();
  Exceptions::Assert(!level.IsObject, "TZELJSONWriter: a value in an object needs a name.");
  if (level.HasItems) FText += ',';
  level.HasItems = true;
  NewLine();
}

void TZELJSONWriter::WritePropertyName(std::string_view AName) {
  Exceptions::Assert(!FStack.empty() && FStack.back().IsObject && !FAfterName,
                     "TZELJSONWriter: a property name outside an object.");
  auto& level = FStack.back();
  if (level.HasItems) FText += ',';
  level.HasItems = true;
  NewLine();
  FText += Quote(AName);
  FText += FFormatting == TFormatting::Indented ? ": " : ":";
  FAfterName = true;
}

void TZELJSONWriter::WriteStartObject() {
  BeforeValue();
  FText += '{';
  FStack.push_back({true, false});
}

void TZELJSONWriter::WriteStartArray() {
  BeforeValue();
  FText += '[';
  FStack.push_back({false, false});
}

void TZELJSONWriter::WriteEnd(bool AObject) {
  Exceptions::Assert(!FStack.empty() && FStack.back().IsObject == AObject && !FAfterName,
                     "TZELJSONWriter: unbalanced end of a container.");
  const bool hadItems = FStack.back().HasItems;
  FStack.pop_back();
  if (hadItems) NewLine();
  FText += AObject ? '}' : ']';
}

void TZELJSONWriter::WriteEndObject() { WriteEnd(true); }
void TZELJSONWriter::WriteEndArray() { WriteEnd(false); }

void TZELJSONWriter::WriteNull() {
  BeforeValue();
  FText += "null";
}

void TZELJSONWriter::WriteValue(bool AValue) {
  BeforeValue();
  FText += AValue ? "true" : "false";
}

void TZELJSONWriter::WriteValue(std::int32_t AValue) { WriteValue(static_cast<std::int64_t>(AValue)); }

void TZELJSONWriter::WriteValue(std::int64_t AValue) {
  BeforeValue();
  FText += fmt::format("{}", AValue);
}

void TZELJSONWriter::WriteValue(std::uint64_t AValue) {
  BeforeValue();
  FText += fmt::format("{}", AValue);
}

void TZELJSONWriter::WriteValue(double AValue) {
  BeforeValue();
  FText += std::isfinite(AValue) ? fmt::format("{}", AValue) : std::string("null");
}

void TZELJSONWriter::WriteValue(std::string_view AValue) {
  BeforeValue();
  FText += Quote(AValue);
}

std::string TZELJSONWriter::Quote(std::string_view AValue) {
  std::string out;
  out.reserve(AValue.size() + 2);
  out += '"';
  for (const char ch : AValue) {
    switch (ch) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(ch) < 0x20)
          out += fmt::format("\\u{:04x}", static_cast<unsigned>(static_cast<unsigned char>(ch)));
        else
          out += ch;
    }
  }
  out += '"';
  return out;
}

}  // namespace ZEL
