#pragma once
// Reading the rolling log files back in the tests: UTF-16 little-endian with a BOM, CR LF lines.

#include <QString>

#include <string>
#include <string_view>
#include <vector>

#include "TestSupport.h"

namespace ZEL::Test {

// The text of a log file (without its BOM) as UTF-8; "" when the file is missing.
inline std::string LogFileText(const std::string& APath) {
  const std::string bytes = ReadFileBytes(APath);
  const std::size_t skip = bytes.rfind("\xFF\xFE", 0) == 0 ? 2 : 0;
  return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.data() + skip),
                            static_cast<qsizetype>((bytes.size() - skip) / 2))
      .toStdString();
}

// The CR LF separated lines of a log file; a line break inside a message stays in its line.
inline std::vector<std::string> LogFileLines(const std::string& APath) {
  const std::string text = LogFileText(APath);
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find("\r\n", from)) != std::string::npos; from = at + 2)
    lines.push_back(text.substr(from, at - from));
  if (from < text.size()) lines.push_back(text.substr(from));  // a torn last line shows up
  return lines;
}

}  // namespace ZEL::Test
