#include "ZEL.MemIniFile.h"

#include "ZEL.Files.h"

#include <fmt/format.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringConverter>
#include <QStringDecoder>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <limits>

namespace ZEL::MemIniFile {

namespace {

// Blanks as the INI convention knows them: space and every control character.
std::string_view Trim(std::string_view S) {
  while (!S.empty() && static_cast<unsigned char>(S.front()) <= ' ') S.remove_prefix(1);
  while (!S.empty() && static_cast<unsigned char>(S.back()) <= ' ') S.remove_suffix(1);
  return S;
}

int HexDigit(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::int64_t> ParseInteger(std::string_view AText, int ABits) {
  const std::string_view s = Trim(AText);
  const std::uint64_t maxBits =
      ABits >= 64 ? std::numeric_limits<std::uint64_t>::max() : ((std::uint64_t{1} << ABits) - 1);

  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    std::uint64_t v = 0;
    for (const char c : s.substr(2)) {
      const int d = HexDigit(c);
      if (d < 0 || v > (maxBits >> 4)) return std::nullopt;
      v = (v << 4) | static_cast<std::uint64_t>(d);
    }
    // The digits are the bit pattern, so 0xFFFFFFFF reads as -1 in 32 bits.
    if (ABits >= 64) return static_cast<std::int64_t>(v);
    return static_cast<std::int64_t>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
  }

  std::string_view digits = s;
  bool negative = false;
  if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
    negative = digits[0] == '-';
    digits.remove_prefix(1);
  }
  if (digits.empty()) return std::nullopt;
  std::uint64_t v = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto d = static_cast<std::uint64_t>(c - '0');
    if (v > (std::numeric_limits<std::uint64_t>::max() - d) / 10) return std::nullopt;
    v = v * 10 + d;
  }
  const std::uint64_t maxPositive = maxBits >> 1;  // 2^(bits-1) - 1
  if (negative) {
    if (v > maxPositive + 1) return std::nullopt;
    // The 64-bit minimum has no positive counterpart to negate.
    if (v == maxPositive + 1 && ABits >= 64) return std::numeric_limits<std::int64_t>::min();
    return -static_cast<std::int64_t>(v);
  }
  if (v > maxPositive) return std::nullopt;
  return static_cast<std::int64_t>(v);
}

std::optional<double> ParseReal(std::string_view AText) {
  std::string_view s = Trim(AText);
  if (s.size() > 1 && s[0] == '+' && s[1] != '-' && s[1] != '+') s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

std::string RealToText(double AValue) { return fmt::format("{}", AValue); }

namespace {

std::string ErrnoText(int AErrno) { return std::strerror(AErrno); }

}  // namespace

void WriteFileAtomically(const std::string& APath, std::string_view ABytes,
                         const std::function<void()>& AMidWrite) {
  const std::string folder =
      QFileInfo(QString::fromStdString(APath)).absolutePath().toStdString();
  if (!Files::MakePrivateFolders(folder))
    throw EFCreateError(fmt::format("Cannot create file \"{}\". The folder cannot be made.", APath));

  // The temporary file is made for the user alone (mkstemp: 0600); the rename keeps its mode.
  std::string temp = APath + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0)
    throw EFCreateError(fmt::format("Cannot create file \"{}\". {}", APath, ErrnoText(errno)));
  auto fail = [&](std::string_view AWhat, int AErrno) {
    ::close(fd);
    ::unlink(temp.c_str());
    throw EFCreateError(fmt::format("{} file \"{}\". {}", AWhat, APath, ErrnoText(AErrno)));
  };

  // Every byte must reach the file: a short write (a full disk) fails the whole write.
  auto writeAll = [&](std::string_view APart) {
    while (!APart.empty()) {
      const ssize_t n = ::write(fd, APart.data(), APart.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) fail("Cannot write", n < 0 ? errno : ENOSPC);
      APart.remove_prefix(static_cast<std::size_t>(n));
    }
  };
  const std::size_t half = ABytes.size() / 2;
  writeAll(ABytes.substr(0, half));
  if (AMidWrite) AMidWrite();
  writeAll(ABytes.substr(half));
  // A file system may report a lack of space only when the data is flushed or closed.
  if (::fsync(fd) != 0 && errno != EINVAL) fail("Cannot write", errno);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    throw EFCreateError(fmt::format("Cannot write file \"{}\". {}", APath, ErrnoText(err)));
  }
  // Until here the old file is untouched; the rename replaces it whole.
  if (::rename(temp.c_str(), APath.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    throw EFCreateError(fmt::format("Cannot create file \"{}\". {}", APath, ErrnoText(err)));
  }
}

}  // namespace ZEL::MemIniFile

namespace ZEL {

namespace {

bool SameName(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t i = 0; i < A.size(); ++i) {
    char a = A[i], b = B[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

// The file's bytes as UTF-8 text: a UTF-8 byte-order mark is dropped, UTF-16 with a mark
// is converted.
std::string DecodeFileText(std::string_view ABytes) {
  const QByteArrayView bytes(ABytes.data(), static_cast<qsizetype>(ABytes.size()));
  const auto encoding = QStringConverter::encodingForData(bytes);
  if (!encoding || *encoding == QStringConverter::Utf8) {
    if (ABytes.substr(0, 3) == "\xEF\xBB\xBF") ABytes.remove_prefix(3);
    return std::string(ABytes);
  }
  QStringDecoder decoder(*encoding);
  const QString text = decoder.decode(bytes);
  return text.toStdString();
}

}  // namespace

TZELMemIniFile::TZELMemIniFile(std::string AFileName) : FFileName(std::move(AFileName)) {
  const QString path = QString::fromStdString(FFileName);
  if (!QFileInfo(path).isFile()) return;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    throw EFOpenError(fmt::format("Cannot open file \"{}\". {}", FFileName,
                                  file.errorString().toStdString()));
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError)
    throw EFOpenError(fmt::format("Cannot read file \"{}\". {}", FFileName,
                                  file.errorString().toStdString()));
  SetText(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  FModified = false;  // the file holds this content already
}

void TZELMemIniFile::SetText(std::string_view AText) {
  FSections.clear();
  FModified = true;
  const std::string text = DecodeFileText(AText);
  TSection* current = nullptr;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    // CR LF, LF and a lone CR all end a line.
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    const std::string_view line = MemIniFile::Trim(std::string_view(text).substr(pos, end - pos));
    pos = end + 1;
    if (end < text.size() && text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;

    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      const std::string_view name = MemIniFile::Trim(line.substr(1, line.size() - 2));
      current = nullptr;
      for (auto& section : FSections)
        if (SameName(section.Name, name)) current = &section;
      if (!current) current = &FSections.emplace_back(TSection{std::string(name), {}});
      continue;
    }
    const std::size_t eq = line.find('=');
    // Lines before the first section and lines without "=" carry nothing we can keep.
    if (!current || eq == std::string_view::npos) continue;
    const std::string_view name = MemIniFile::Trim(line.substr(0, eq));
    const std::string_view value = MemIniFile::Trim(line.substr(eq + 1));
    bool known = false;
    for (const auto& key : current->Keys) known = known || SameName(key.Name, name);
    // The first of duplicate keys is the one that counts.
    if (!known) current->Keys.push_back(TKey{std::string(name), std::string(value)});
  }
}

std::string TZELMemIniFile::Text() const {
  std::string out;
  for (const auto& section : FSections) {
    out += '[';
    out += section.Name;
    out += "]\n";
    for (const auto& key : section.Keys) {
      out += key.Name;
      out += '=';
      out += key.Value;
      out += '\n';
    }
    out += '\n';
  }
  return out;
}

void TZELMemIniFile::UpdateFile() {
  if (!FModified) return;
  MemIniFile::WriteFileAtomically(FFileName, Text());
  FModified = false;
}

const TZELMemIniFile::TKey* TZELMemIniFile::FindKey(std::string_view ASection,
                                                    std::string_view AKey) const {
  for (const auto& section : FSections) {
    if (!SameName(section.Name, ASection)) continue;
    for (const auto& key : section.Keys)
      if (SameName(key.Name, AKey)) return &key;
    return nullptr;
  }
  return nullptr;
}

TZELMemIniFile::TKey& TZELMemIniFile::KeyForWrite(std::string_view ASection,
                                                  std::string_view AKey) {
  TSection* target = nullptr;
  for (auto& section : FSections)
    if (SameName(section.Name, ASection)) {
      target = &section;
      break;
    }
  if (!target) target = &FSections.emplace_back(TSection{std::string(ASection), {}});
  for (auto& key : target->Keys)
    if (SameName(key.Name, AKey)) return key;
  FModified = true;
  return target->Keys.emplace_back(TKey{std::string(AKey), {}});
}

std::optional<std::string> TZELMemIniFile::Find(std::string_view ASection,
                                                std::string_view AKey) const {
  if (const TKey* key = FindKey(ASection, AKey)) return key->Value;
  return std::nullopt;
}

std::string TZELMemIniFile::ReadString(std::string_view ASection, std::string_view AKey,
                                       std::string_view ADefault) const {
  if (const TKey* key = FindKey(ASection, AKey)) return key->Value;
  return std::string(ADefault);
}

std::int32_t TZELMemIniFile::ReadInteger(std::string_view ASection, std::string_view AKey,
                                         std::int32_t ADefault) const {
  const TKey* key = FindKey(ASection, AKey);
  if (!key) return ADefault;
  const auto v = MemIniFile::ParseInteger(key->Value, 32);
  return v ? static_cast<std::int32_t>(*v) : ADefault;
}

std::int64_t TZELMemIniFile::ReadInt64(std::string_view ASection, std::string_view AKey,
                                       std::int64_t ADefault) const {
  const TKey* key = FindKey(ASection, AKey);
  if (!key) return ADefault;
  return MemIniFile::ParseInteger(key->Value, 64).value_or(ADefault);
}

bool TZELMemIniFile::ReadBool(std::string_view ASection, std::string_view AKey,
                              bool ADefault) const {
  return ReadInteger(ASection, AKey, ADefault ? 1 : 0) != 0;
}

double TZELMemIniFile::ReadDouble(std::string_view ASection, std::string_view AKey,
                                  double ADefault) const {
  const TKey* key = FindKey(ASection, AKey);
  if (!key) return ADefault;
  return MemIniFile::ParseReal(key->Value).value_or(ADefault);
}

void TZELMemIniFile::WriteString(std::string_view ASection, std::string_view AKey,
                                 std::string_view AValue) {
  TKey& key = KeyForWrite(ASection, AKey);
  if (key.Value == AValue) return;
  key.Value = std::string(AValue);
  FModified = true;
}

void TZELMemIniFile::WriteInteger(std::string_view ASection, std::string_view AKey,
                                  std::int32_t AValue) {
  WriteString(ASection, AKey, std::to_string(AValue));
}

void TZELMemIniFile::WriteInt64(std::string_view ASection, std::string_view AKey,
                                std::int64_t AValue) {
  WriteString(ASection, AKey, std::to_string(AValue));
}

void TZELMemIniFile::WriteBool(std::string_view ASection, std::string_view AKey, bool AValue) {
  WriteString(ASection, AKey, AValue ? "1" : "0");
}

void TZELMemIniFile::WriteDouble(std::string_view ASection, std::string_view AKey,
                                 double AValue) {
  WriteString(ASection, AKey, MemIniFile::RealToText(AValue));
}

}  // namespace ZEL
