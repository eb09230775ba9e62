#pragma once
// A small streaming JSON writer. The service request payload goes to the edges as text
// they compare by layout, so the layout is fixed here rather than left to a library:
// indented output uses four blanks per level, CR LF between lines, a blank after each
// colon, {} and [] for empty containers and no line break after the last brace.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ZEL {

class TZELJSONWriter {
public:
  static constexpr std::string_view TypeName = "TZELJSONWriter";

  enum class TFormatting { None, Indented };

  explicit TZELJSONWriter(TFormatting AFormatting = TFormatting::Indented);

  TFormatting Formatting() const { return FFormatting; }

  void WriteStartObject();
  void WriteEndObject();
  void WriteStartArray();
  void WriteEndArray();
  // Only inside an object, before each member's value.
  void WritePropertyName(std::string_view AName);

  void WriteNull();
  void WriteValue(bool AValue);
  void WriteValue(std::int32_t AValue);
  void WriteValue(std::int64_t AValue);
  void WriteValue(std::uint64_t AValue);
  // Shortest text that reads back as the same double: 100 as 100, 2.50 as 2.5.
  // NaN and infinities have no JSON form and are written as null.
  void WriteValue(double AValue);
  void WriteValue(std::string_view AValue);
  void WriteValue(const char* AValue) { WriteValue(std::string_view(AValue)); }
  void WriteValue(const std::string& AValue) { WriteValue(std::string_view(AValue)); }

  // Open containers (0 once the top value is complete).
  std::size_t Depth() const { return FStack.size(); }
  const std::string& Text() const { return FText; }

  // A JSON string literal with quotation mark, backslash and control characters escaped.
  static std::string Quote(std::string_view AValue);

private:
  struct TLevel {
    bool IsObject;
    bool HasItems;
  };

  void BeforeValue();
  void NewLine();
  void WriteEnd(bool AObject);

  TFormatting FFormatting;
  std::vector<TLevel> FStack;
  bool FAfterName = false;
  std::string FText;
};

}  // namespace ZEL
