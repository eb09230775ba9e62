#pragma once
// Turns a record into JSON text: indented by default; a configuration procedure may
// change the settings before the record is written.

#include <functional>
#include <string>
#include <string_view>

#include "ZEL.Backend.Proto.DTO.Base.h"
#include "ZEL.JSON.Writer.h"

namespace ZEL {

struct TZELJSONSerializerSettings {
  TZELJSONWriter::TFormatting Formatting = TZELJSONWriter::TFormatting::Indented;
};

using TJSonSerializerConfigProc = std::function<void(TZELJSONSerializerSettings&)>;

class TZELProtoSerializer {
public:
  static constexpr std::string_view TypeName = "TZELProtoSerializer";

  static std::string Serialize(const TDTOBaseClass& ARecord);
  // An empty procedure is skipped. Errors while writing reach the caller.
  static std::string Serialize(const TJSonSerializerConfigProc& AConfig, const TDTOBaseClass& ARecord);
};

}  // namespace ZEL
