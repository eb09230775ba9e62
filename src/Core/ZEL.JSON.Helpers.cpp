#include "ZEL.JSON.Helpers.h"

#include <fmt/format.h>

#include "ZEL.LogsPipe.h"

#include <cmath>
#include <limits>

namespace ZEL {

EJSONInvalidValue::EJSONInvalidValue(const std::string& AProp, const std::string& AExpected)
    : EZELException(fmt::format("Invalid value in \"{}\" property. Expected: \"{}\"", AProp, AExpected)) {}

void TZELJSONWriterHelper::WriteAncestor(TZELJSONWriter& AWriter, const TJSON& AValue) {
  switch (AValue.type()) {
    case TJSON::value_t::array:
      WriteJSONArray(AWriter, AValue);
      break;
    case TJSON::value_t::object:
      WriteJSONObject(AWriter, AValue);
      break;
    case TJSON::value_t::number_integer:
      AWriter.WriteValue(AValue.get<std::int64_t>());
      break;
    case TJSON::value_t::number_unsigned:
      AWriter.WriteValue(AValue.get<std::uint64_t>());
      break;
    case TJSON::value_t::number_float:
      AWriter.WriteValue(AValue.get<double>());
      break;
    case TJSON::value_t::string:
      AWriter.WriteValue(AValue.get_ref<const std::string&>());
      break;
    case TJSON::value_t::boolean:
      AWriter.WriteValue(AValue.get<bool>());
      break;
    default:
      // null, and kinds that have no JSON text (binary, discarded): a member name must
      // not be left without a value, so they are written as null.
      AWriter.WriteNull();
      break;
  }
}

void TZELJSONWriterHelper::WriteJSONArray(TZELJSONWriter& AWriter, const TJSON& AArray) {
  AWriter.WriteStartArray();
  try {
    for (const auto& element : AArray) WriteAncestor(AWriter, element);
  } catch (...) {
    AWriter.WriteEndArray();
    throw;
  }
  AWriter.WriteEndArray();
}

void TZELJSONWriterHelper::WriteJSONObject(TZELJSONWriter& AWriter, const TJSON& AObject) {
  AWriter.WriteStartObject();
  try {
    for (const auto& [name, value] : AObject.get_ref<const TJSON::object_t&>()) {
      AWriter.WritePropertyName(name);
      WriteAncestor(AWriter, value);
    }
  } catch (...) {
    AWriter.WriteEndObject();
    throw;
  }
  AWriter.WriteEndObject();
}

}  // namespace ZEL

namespace ZEL::JSON::Helpers {

const TJSON* FindValue(const TJSON& ARoot, std::string_view APath) {
  const TJSON* current = &ARoot;
  std::size_t start = 0;
  for (;;) {
    if (!current->is_object()) return nullptr;
    const auto dot = APath.find('.', start);
    const std::string name(APath.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
    const auto it = current->find(name);
    if (it == current->end()) return nullptr;
    current = &*it;
    if (dot == std::string_view::npos) return current;
    start = dot + 1;
  }
}

std::optional<std::string> TryGetString(const TJSON& ARoot, std::string_view APath) {
  const TJSON* value = FindValue(ARoot, APath);
  if (!value || !value->is_string()) return std::nullopt;
  return value->get<std::string>();
}

std::optional<std::string> TryGetText(const TJSON& ARoot, std::string_view APath) {
  const TJSON* value = FindValue(ARoot, APath);
  if (!value) return std::nullopt;
  if (value->is_string()) return value->get<std::string>();
  if (value->is_number()) return NumberText(*value);
  return std::nullopt;
}

std::optional<std::int32_t> TryGetInt32(const TJSON& ARoot, std::string_view APath) {
  const TJSON* value = FindValue(ARoot, APath);
  if (!value || !value->is_number()) return std::nullopt;
  constexpr auto lo = std::numeric_limits<std::int32_t>::min();
  constexpr auto hi = std::numeric_limits<std::int32_t>::max();
  bool ok = false;
  std::int64_t result = 0;
  if (value->is_number_unsigned()) {
    const auto v = value->get<std::uint64_t>();
    ok = v <= static_cast<std::uint64_t>(hi);
    result = static_cast<std::int64_t>(v);
  } else if (value->is_number_integer()) {
    result = value->get<std::int64_t>();
    ok = result >= lo && result <= hi;
  } else {
    const double v = value->get<double>();
    ok = std::isfinite(v) && std::trunc(v) == v && v >= lo && v <= hi;
    if (ok) result = static_cast<std::int64_t>(v);
  }
  if (!ok)
    throw EJSONInvalidValue(std::string(APath),
                            fmt::format(" value ({}) must be a whole number in range[{}..{}]",
                                        NumberText(*value), lo, hi));
  return static_cast<std::int32_t>(result);
}

std::optional<bool> TryGetBool(const TJSON& ARoot, std::string_view APath) {
  const TJSON* value = FindValue(ARoot, APath);
  if (!value || !value->is_boolean()) return std::nullopt;
  return value->get<bool>();
}

const TJSON* TryGetObject(const TJSON& ARoot, std::string_view APath) {
  const TJSON* value = FindValue(ARoot, APath);
  return value && value->is_object() ? value : nullptr;
}

const TJSON* TryGetArray(const TJSON& ARoot, std::string_view APath) {
  const TJSON* value = FindValue(ARoot, APath);
  return value && value->is_array() ? value : nullptr;
}

std::string NumberText(const TJSON& ANumber) {
  if (ANumber.is_number_float()) {
    TZELJSONWriter writer(TZELJSONWriter::TFormatting::None);
    writer.WriteValue(ANumber.get<double>());
    return writer.Text();
  }
  return ANumber.dump();
}

void AddPair(TJSON& AObject, std::string AName, TJSON AValue) {
  if (AObject.is_null()) AObject = TJSON::object();
  Exceptions::Assert(AObject.is_object(), "AddPair: the value is not a JSON object.");
  // ordered_map is a vector of pairs underneath; push_back keeps a repeated name.
  AObject.get_ref<TJSON::object_t&>().push_back({std::move(AName), std::move(AValue)});
}

}  // namespace ZEL::JSON::Helpers

namespace ZEL::JSON::Helpers {

bool NestsDeeperThan(std::string_view AText, int AMax) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < AText.size(); ++i) {
    const char c = AText[i];
    if (inString) {
      if (c == '\\')
        ++i;  // the escaped character cannot end the string
      else if (c == '"')
        inString = false;
      continue;
    }
    switch (c) {
      case '"': inString = true; break;
      case '[':
      case '{':
        if (++depth > AMax) return true;
        break;
      case ']':
      case '}':
        if (depth > 0) --depth;
        break;
      default: break;
    }
  }
  return false;
}

bool NestingAllowed(std::string_view AText, std::string_view ATag) {
  if (!NestsDeeperThan(AText)) return true;
  LogsPipe::ZELLog().ErrorFmt(ATag, "A JSON text of {} bytes nests deeper than {} levels and is refused.",
                              AText.size(), MaxNestingDepth);
  return false;
}

}  // namespace ZEL::JSON::Helpers
