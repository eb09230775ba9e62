#include "ZEL.SettingsFile.INIFile.h"

#include "ZEL.LogsPipe.h"

#include <QDir>
#include <QStandardPaths>
#include <QString>

#include <cstdlib>

namespace ZEL::SettingsFile::INIFile {

std::string SettingsFolder() {
  if (const char* dir = std::getenv("ZEL_SETTINGS_DIR"); dir && *dir) return dir;
  return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
}

std::string SettingsFilePath() {
  return QDir(QString::fromStdString(SettingsFolder()))
      .filePath(QString::fromUtf8(SettingsFileName.data(),
                                  static_cast<qsizetype>(SettingsFileName.size())))
      .toStdString();
}

}  // namespace ZEL::SettingsFile::INIFile

namespace ZEL {

TZELSettingsFileIni::TZELSettingsFileIni()
    : TZELSettingsFileIni(SettingsFile::INIFile::SettingsFilePath()) {}

TZELSettingsFileIni::TZELSettingsFileIni(std::string AFileName) {
  FContainer = std::make_unique<TZELMemIniFile>(std::move(AFileName));
}

TZELSettingsFileIni::~TZELSettingsFileIni() { FContainer.reset(); }

void TZELSettingsFileIni::WriteContent() {
  if (HeldByCallingThread()) {
    FContainer->UpdateFile();
    return;
  }
  // An unlock without a lock still writes, but never alongside a holder's change.
  std::lock_guard<std::mutex> guard(FCS);
  FContainer->UpdateFile();
}

void TZELSettingsFileIni::BarrierUnlock() {
  try {
    WriteContent();
  } catch (...) {
    // A failed write must not leave the barrier taken: every later access would be refused.
    TZELThreadSafeObject::BarrierUnlock();
    throw;
  }
  TZELThreadSafeObject::BarrierUnlock();
}

void TZELSettingsFileIni::RunLocked(const std::function<void(TZELMemIniFile&)>& AOperation) {
  BarrierLock();
  try {
    AOperation(*FContainer);
  } catch (...) {
    // The operation's own error is the one the caller gets.
    try {
      BarrierUnlock();
    } catch (const std::exception& E) {
      ZEL::LogsPipe::ZELLog().ErrorFmt("TZELSettingsFileIni.BarrierUnlock", "{}: {}",
                                       ZEL::Exceptions::ClassNameOf(E), E.what());
    }
    throw;
  }
  BarrierUnlock();
}

std::string TZELSettingsFileIni::HeldString(std::string_view ACategory, std::string_view AParam,
                                            std::string_view ADefaultValue) {
  if (HeldByCallingThread()) return FContainer->ReadString(ACategory, AParam, ADefaultValue);
  std::lock_guard<std::mutex> guard(FCS);
  return FContainer->ReadString(ACategory, AParam, ADefaultValue);
}

std::string TZELSettingsFileIni::ReadString(std::string_view ACategory, std::string_view AParam,
                                            std::string_view ADefaultValue) {
  std::string result;
  RunLocked([&](TZELMemIniFile& F) { result = F.ReadString(ACategory, AParam, ADefaultValue); });
  return result;
}

void TZELSettingsFileIni::WriteString(std::string_view ACategory, std::string_view AParam,
                                      std::string_view AValue) {
  RunLocked([&](TZELMemIniFile& F) { F.WriteString(ACategory, AParam, AValue); });
}

std::int32_t TZELSettingsFileIni::ReadInteger(std::string_view ACategory,
                                              std::string_view AParam,
                                              std::int32_t ADefaultValue) {
  std::int32_t result = ADefaultValue;
  RunLocked([&](TZELMemIniFile& F) { result = F.ReadInteger(ACategory, AParam, ADefaultValue); });
  return result;
}

void TZELSettingsFileIni::WriteInteger(std::string_view ACategory, std::string_view AParam,
                                       std::int32_t AValue) {
  RunLocked([&](TZELMemIniFile& F) { F.WriteInteger(ACategory, AParam, AValue); });
}

std::int64_t TZELSettingsFileIni::ReadInt64(std::string_view ACategory, std::string_view AParam,
                                            std::int64_t ADefaultValue) {
  std::int64_t result = ADefaultValue;
  RunLocked([&](TZELMemIniFile& F) { result = F.ReadInt64(ACategory, AParam, ADefaultValue); });
  return result;
}

void TZELSettingsFileIni::WriteInt64(std::string_view ACategory, std::string_view AParam,
                                     std::int64_t AValue) {
  RunLocked([&](TZELMemIniFile& F) { F.WriteInt64(ACategory, AParam, AValue); });
}

bool TZELSettingsFileIni::ReadBool(std::string_view ACategory, std::string_view AParam,
                                   bool ADefaultValue) {
  bool result = ADefaultValue;
  RunLocked([&](TZELMemIniFile& F) { result = F.ReadBool(ACategory, AParam, ADefaultValue); });
  return result;
}

void TZELSettingsFileIni::WriteBool(std::string_view ACategory, std::string_view AParam,
                                    bool AValue) {
  RunLocked([&](TZELMemIniFile& F) { F.WriteBool(ACategory, AParam, AValue); });
}

double TZELSettingsFileIni::ReadDouble(std::string_view ACategory, std::string_view AParam,
                                       double ADefaultValue) {
  double result = ADefaultValue;
  RunLocked([&](TZELMemIniFile& F) { result = F.ReadDouble(ACategory, AParam, ADefaultValue); });
  return result;
}

void TZELSettingsFileIni::WriteDouble(std::string_view ACategory, std::string_view AParam,
                                      double AValue) {
  RunLocked([&](TZELMemIniFile& F) { F.WriteDouble(ACategory, AParam, AValue); });
}

}  // namespace ZEL
