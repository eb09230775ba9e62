#include "ZEL.LogsArchive.h"

#include "ZEL.LogsPipe.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

#include <QFile>

#include <fmt/format.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <vector>

namespace ZEL::LogsArchive {

namespace {

namespace fs = std::filesystem;

ILogWriter& Log() { return LogsPipe::ZELLog(); }

const char* BoolText(bool AValue) { return AValue ? "True" : "False"; }

QString QPath(const fs::path& APath) { return QString::fromStdString(APath.string()); }

// Copies the folder's regular files and subfolders; links are left out.
void CopyFolder(const fs::path& AFrom, const fs::path& ATo) {
  fs::create_directories(ATo);
  for (const fs::directory_entry& LEntry : fs::directory_iterator(AFrom)) {
    const fs::file_status LStatus = LEntry.symlink_status();
    const fs::path LTarget = ATo / LEntry.path().filename();
    if (fs::is_directory(LStatus))
      CopyFolder(LEntry.path(), LTarget);
    else if (fs::is_regular_file(LStatus))
      fs::copy_file(LEntry.path(), LTarget, fs::copy_options::overwrite_existing);
  }
}

// Every regular file below AFolder with its entry name (relative, '/'-separated), sorted.
std::vector<std::pair<fs::path, std::string>> FilesOf(const fs::path& AFolder) {
  std::vector<std::pair<fs::path, std::string>> LFiles;
  for (auto LIt = fs::recursive_directory_iterator(AFolder); LIt != fs::recursive_directory_iterator(); ++LIt) {
    if (!fs::is_regular_file(LIt->symlink_status())) continue;
    const std::string LName = LIt->path().lexically_relative(AFolder).generic_string();
    // A name that leaves the folder would unpack outside it.
    if (LName.empty() || LName.rfind("..", 0) == 0 || fs::path(LName).is_absolute()) {
      Log().WarnFmt(cLogTag, "Log file \"{}\" left out: no path inside the folder.", LIt->path().string());
      continue;
    }
    LFiles.emplace_back(LIt->path(), LName);
  }
  std::sort(LFiles.begin(), LFiles.end(), [](const auto& A, const auto& B) { return A.second < B.second; });
  return LFiles;
}

void AddFile(QuaZip& AZip, const fs::path& AFile, const std::string& AName) {
  QFile LIn(QPath(AFile));
  if (!LIn.open(QIODevice::ReadOnly))
    throw EInOutError(fmt::format("Cannot read \"{}\": {}", AFile.string(), LIn.errorString().toStdString()));
  QuaZipFile LOut(&AZip);
  if (!LOut.open(QIODevice::WriteOnly, QuaZipNewInfo(QString::fromStdString(AName), QPath(AFile)), nullptr, 0,
                 Z_DEFLATED, Z_DEFAULT_COMPRESSION))
    throw EInOutError(fmt::format("Cannot add \"{}\" to the archive (error {}).", AName, LOut.getZipError()));
  char LBuffer[64 * 1024];
  for (qint64 LRead; (LRead = LIn.read(LBuffer, sizeof LBuffer)) > 0;) {
    if (LOut.write(LBuffer, LRead) != LRead) {
      LOut.close();
      throw EInOutError(fmt::format("Cannot write \"{}\" into the archive.", AName));
    }
  }
  const bool LReadFailed = LIn.error() != QFileDevice::NoError;
  LOut.close();
  if (LReadFailed)
    throw EInOutError(fmt::format("Cannot read \"{}\": {}", AFile.string(), LIn.errorString().toStdString()));
  if (LOut.getZipError() != 0)
    throw EInOutError(fmt::format("Cannot write \"{}\" into the archive (error {}).", AName, LOut.getZipError()));
}

}  // namespace

std::string ArchiveFileName(Time::TInstant ANow) {
  const Time::TLocalTime L = Time::ToLocal(ANow);
  return fmt::format("ZELLogs_{:02}{:02}{:04}_{:02}{:02}{:02}.zip", L.Day, L.Month, L.Year, L.Hour, L.Minute,
                     L.Second);
}

TArchive Make(const std::string& ADocumentsFolder, const std::string& ALogsFolder, Time::TInstant ANow) {
  const fs::path LDocuments(ADocumentsFolder);
  TArchive LResult;
  LResult.Path = (LDocuments / ArchiveFileName(ANow)).string();
  Log().InfoFmt(cLogTag, "Log arch file: {} ", LResult.Path);

  const fs::path LSnapshot = LDocuments / "ZELLogsSnapshot";
  const bool LExists = fs::exists(fs::symlink_status(LSnapshot));
  Log().DebugFmt(cLogTag, "LLogsSnapshot path: {} Exists: {} ", LSnapshot.string(), BoolText(LExists));
  if (LExists) {
    Log().Debug(cLogTag, "Deleting existing snapshot copy...");
    fs::remove_all(LSnapshot);
    Log().Debug(cLogTag, "Deleting existing snapshot copy... done.");
  }
  Log().Debug(cLogTag, "Making logs snapshot...");
  CopyFolder(fs::path(ALogsFolder), LSnapshot);
  Log().Debug(cLogTag, "Making logs snapshot... done.");

  Log().DebugFmt(cLogTag, "Opening zip \"{}\" to write...", LResult.Path);
  QuaZip LZip(QString::fromStdString(LResult.Path));
  if (!LZip.open(QuaZip::mdCreate))
    throw EInOutError(fmt::format("Cannot create \"{}\" (error {}).", LResult.Path, LZip.getZipError()));
  Log().DebugFmt(cLogTag, "Opening zip \"{}\" to write... done.", LResult.Path);
  try {
    const auto LFiles = FilesOf(LSnapshot);
    Log().Debug(cLogTag, "LLogsSnapshot files count: " + std::to_string(LFiles.size()));
    for (const auto& [LFile, LName] : LFiles) {
      Log().Debug(cLogTag, "Log file: " + LFile.string());
      AddFile(LZip, LFile, LName);
      ++LResult.Files;
    }
    Log().Debug(cLogTag, "Adding files to zip... done.");
  } catch (...) {
    LZip.close();
    throw;
  }
  LZip.close();
  if (LZip.getZipError() != 0)
    throw EInOutError(fmt::format("Cannot finish \"{}\" (error {}).", LResult.Path, LZip.getZipError()));
  Log().Debug(cLogTag, "Archive is done.");
  Log().DebugFmt(cLogTag, "Logs archive path: \"{}\" Exists: {} ", LResult.Path, BoolText(fs::exists(LResult.Path)));
  return LResult;
}

}  // namespace ZEL::LogsArchive
