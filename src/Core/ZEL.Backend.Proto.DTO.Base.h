#pragma once
// The base of the records the client sends as JSON.

#include <string>
#include <string_view>

namespace ZEL {

class TZELJSONWriter;

class TDTOBaseClass {
public:
  static constexpr std::string_view TypeName = "TDTOBaseClass";

  virtual ~TDTOBaseClass() = default;

  // The record as JSON text.
  std::string ToJSON() const { return DoToJSON(); }

  // Writes the record as one JSON value at the writer's position (the serializer's hook);
  // the base has no fields and writes an empty object.
  virtual void WriteJSON(TZELJSONWriter& AWriter) const;

protected:
  // The base gives "{}".
  virtual std::string DoToJSON() const;
};

}  // namespace ZEL
