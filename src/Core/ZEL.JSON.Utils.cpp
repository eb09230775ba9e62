#include "ZEL.JSON.Utils.h"

#include <fmt/format.h>

namespace ZEL {

TZELVariant TZELVariant::Date(Time::TInstant AValue) {
  TZELVariant result;
  result.FValue = TDate{AValue};
  return result;
}

TZELVariant TZELVariant::Array(std::vector<TZELVariant> AElements) {
  TZELVariant result;
  result.FValue = std::move(AElements);
  return result;
}

std::string TZELVariant::ToText() const {
  struct TVisitor {
    std::string operator()(std::monostate) const { return ""; }
    std::string operator()(bool AValue) const { return AValue ? "True" : "False"; }
    std::string operator()(std::int64_t AValue) const { return fmt::format("{}", AValue); }
    std::string operator()(std::uint64_t AValue) const { return fmt::format("{}", AValue); }
    std::string operator()(TSmallUnsigned AValue) const { return fmt::format("{}", AValue.Value); }
    std::string operator()(double AValue) const { return fmt::format("{}", AValue); }
    std::string operator()(TDate AValue) const { return Time::FormatLocalAsZulu(AValue.Value); }
    std::string operator()(const std::string& AValue) const { return AValue; }
    std::string operator()(const std::vector<TZELVariant>&) const {
      throw EVariantTypeCastError("Could not convert variant of type (Array) into type (String)");
    }
  };
  return std::visit(TVisitor{}, FValue);
}

}  // namespace ZEL

namespace ZEL::JSON::Utils {

namespace {

TJSON SingleValue(const TZELVariant& AValue) {
  struct TVisitor {
    TJSON operator()(std::monostate) const { return nullptr; }
    TJSON operator()(bool AValue) const { return AValue; }
    // Kept exact: a 64-bit id must not come out as a neighbouring number.
    TJSON operator()(std::int64_t AValue) const { return AValue; }
    TJSON operator()(std::uint64_t AValue) const { return AValue; }
    TJSON operator()(TZELVariant::TSmallUnsigned AValue) const { return fmt::format("{}", AValue.Value); }
    TJSON operator()(double AValue) const { return AValue; }
    // The edges read dates as local clock time with a "Z"; no conversion on purpose.
    TJSON operator()(TZELVariant::TDate AValue) const { return Time::FormatLocalAsZulu(AValue.Value); }
    TJSON operator()(const std::string& AValue) const { return AValue; }
    TJSON operator()(const std::vector<TZELVariant>&) const {
      throw EVariantTypeCastError("Could not convert variant of type (Array) into a JSON value");
    }
  };
  return std::visit(TVisitor{}, AValue.Value());
}

}  // namespace

TJSON VariantToJSONValue(const TZELVariant& AValue) {
  if (!AValue.IsArray()) return SingleValue(AValue);
  TJSON result = TJSON::array();
  for (const auto& element : std::get<std::vector<TZELVariant>>(AValue.Value()))
    result.push_back(SingleValue(element));
  return result;
}

TJSON VarArgsToJSONValue(const std::vector<TZELVariant>& AValues) {
  if (AValues.empty()) return nullptr;
  if (AValues.size() == 1) return VariantToJSONValue(AValues.front());

  bool isObject = AValues.size() % 2 == 0;
  for (std::size_t i = 0; isObject && i < AValues.size(); i += 2) isObject = AValues[i].IsText();

  if (isObject) {
    TJSON result = TJSON::object();
    for (std::size_t i = 0; i < AValues.size(); i += 2)
      Helpers::AddPair(result, AValues[i].ToText(), VariantToJSONValue(AValues[i + 1]));
    return result;
  }
  TJSON result = TJSON::array();
  for (const auto& value : AValues) result.push_back(VariantToJSONValue(value));
  return result;
}

}  // namespace ZEL::JSON::Utils
