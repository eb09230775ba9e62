#pragma once
// Loosely typed values (what a service's parameters are given as) and their JSON form.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "ZEL.Exceptions.h"
#include "ZEL.JSON.Helpers.h"
#include "ZEL.Time.h"

namespace ZEL {

// A value that has no JSON form under the conversion rules (an array inside an array).
ZEL_DECLARE_EXCEPTION(EVariantTypeCastError, EZELException)

// A tagged value: empty/null, Boolean, integer, real, date, text or an array of values.
class TZELVariant {
public:
  // 8- and 16-bit unsigned integers convert as their text ("5"), like any value of a kind
  // without a number rule.
  struct TSmallUnsigned {
    std::uint16_t Value;
  };
  // A date is an instant; its JSON form is its local clock time.
  struct TDate {
    Time::TInstant Value;
  };
  using TValue = std::variant<std::monostate, bool, std::int64_t, std::uint64_t, TSmallUnsigned, double,
                              TDate, std::string, std::vector<TZELVariant>>;

  TZELVariant() = default;  // empty
  TZELVariant(std::nullptr_t) {}
  TZELVariant(bool AValue) : FValue(AValue) {}
  template <typename T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char>)
  TZELVariant(T AValue) {
    if constexpr (std::is_unsigned_v<T> && sizeof(T) <= 2)
      FValue = TSmallUnsigned{AValue};
    else if constexpr (std::is_unsigned_v<T>)
      FValue = static_cast<std::uint64_t>(AValue);
    else
      FValue = static_cast<std::int64_t>(AValue);
  }
  TZELVariant(float AValue) : FValue(static_cast<double>(AValue)) {}
  TZELVariant(double AValue) : FValue(AValue) {}
  TZELVariant(char AValue) : FValue(std::string(1, AValue)) {}
  TZELVariant(const char* AValue) : FValue(std::string(AValue)) {}
  TZELVariant(std::string_view AValue) : FValue(std::string(AValue)) {}
  TZELVariant(std::string AValue) : FValue(std::move(AValue)) {}

  static TZELVariant Date(Time::TInstant AValue);
  static TZELVariant Array(std::vector<TZELVariant> AElements);

  const TValue& Value() const { return FValue; }
  bool IsText() const { return std::holds_alternative<std::string>(FValue); }
  bool IsArray() const { return std::holds_alternative<std::vector<TZELVariant>>(FValue); }
  // The text form, for names and for kinds that convert as text.
  std::string ToText() const;

private:
  TValue FValue;
};

}  // namespace ZEL

namespace ZEL::JSON::Utils {

// Array: a JSON array of the elements by the single-value rule; otherwise that rule:
// empty -> null; integers -> exact number; reals -> number; date -> its local clock time as
// "YYYY-MM-DDTHH:NN:SS.ZZZZ" with a final "Z" and no conversion; Boolean; the rest -> text.
TJSON VariantToJSONValue(const TZELVariant& AValue);

// No values: null. One: its VariantToJSONValue. More: an object when the count is even and
// every value at an even position is a text (names, in order, a repeated name kept twice);
// otherwise an array of every value.
TJSON VarArgsToJSONValue(const std::vector<TZELVariant>& AValues);
inline TJSON VarArgsToJSONValue(std::initializer_list<TZELVariant> AValues) {
  return VarArgsToJSONValue(std::vector<TZELVariant>(AValues));
}

}  // namespace ZEL::JSON::Utils
