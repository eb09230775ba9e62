#pragma once
// Writing any JSON document value through our writer, and the typed lookups the domain
// model reads its JSON with: a value of another JSON type than the one asked for counts
// as missing (the caller logs it like a missing key).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "ZEL.Exceptions.h"
#include "ZEL.JSON.Writer.h"

namespace ZEL {

using TJSON = nlohmann::ordered_json;

// A JSON number outside the range its reader allows.
class EJSONInvalidValue : public EZELException {
public:
  EJSONInvalidValue(const std::string& AProp, const std::string& AExpected);
  const char* className() const noexcept override { return "EJSONInvalidValue"; }
};

// Writes document values at the writer's current position, with the writer's layout.
struct TZELJSONWriterHelper {
  // null, array, object, number, string or Boolean. Integers are written exactly (64-bit
  // values included); other numbers through their double value, so 2.50 is written 2.5.
  static void WriteAncestor(TZELJSONWriter& AWriter, const TJSON& AValue);
  // The container with its contents; its end is written even when a member fails.
  static void WriteJSONArray(TZELJSONWriter& AWriter, const TJSON& AArray);
  static void WriteJSONObject(TZELJSONWriter& AWriter, const TJSON& AObject);
};

}  // namespace ZEL

namespace ZEL::JSON::Helpers {

// The value at a dotted path of member names ("State.Data.State"), walking objects only;
// nullptr when a step is missing or not an object. A name held twice gives the first.
const TJSON* FindValue(const TJSON& ARoot, std::string_view APath);

// A JSON string only.
std::optional<std::string> TryGetString(const TJSON& ARoot, std::string_view APath);
// A JSON string, or a JSON number as its text.
std::optional<std::string> TryGetText(const TJSON& ARoot, std::string_view APath);
// A JSON number only. A number that is not a whole 32-bit value raises EJSONInvalidValue
// with the path as the property (a silent wrap-around would be a plausible wrong value).
std::optional<std::int32_t> TryGetInt32(const TJSON& ARoot, std::string_view APath);
// true or false only.
std::optional<bool> TryGetBool(const TJSON& ARoot, std::string_view APath);
// An object (an array) only; nullptr otherwise.
const TJSON* TryGetObject(const TJSON& ARoot, std::string_view APath);
const TJSON* TryGetArray(const TJSON& ARoot, std::string_view APath);

// The text of a number value: integers in decimal, others in their shortest form.
std::string NumberText(const TJSON& ANumber);

// How deep arrays and objects may nest in a JSON text from the network. The parser itself
// does not recurse, but writing, copying and comparing a value do: a text nested some
// thousands of levels deep would overflow the stack.
inline constexpr int MaxNestingDepth = 64;

// True when arrays and objects in AText nest deeper than AMax (strings are skipped). A linear
// scan of the text, before it is parsed.
bool NestsDeeperThan(std::string_view AText, int AMax = MaxNestingDepth);

// For a text from the network (broker payloads, backend and identity answers): false, with
// one Error line under ATag, when it nests deeper than MaxNestingDepth.
bool NestingAllowed(std::string_view AText, std::string_view ATag);

// Appends a member even when the name is there already (an object may hold a name twice;
// operator[] and emplace would replace or skip it).
void AddPair(TJSON& AObject, std::string AName, TJSON AValue);

}  // namespace ZEL::JSON::Helpers
