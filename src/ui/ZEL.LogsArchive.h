#pragma once
// The archive of the log files that the user can hand to support: a snapshot copy of the
// log folder in the documents folder, then a zip of it, each entry under its path relative
// to the log folder. Runs on any thread; touches no widget.

#include "ZEL.Exceptions.h"
#include "ZEL.Time.h"

#include <string>

namespace ZEL {

// A file or folder of the archive could not be read or written.
ZEL_DECLARE_EXCEPTION(EInOutError, EZELException)

}  // namespace ZEL

namespace ZEL::LogsArchive {

inline constexpr std::string_view cLogTag = "TProfileViewForm.btnCopyZELRecordClick";

// "ZELLogs_DDMMYYYY_HHMMSS.zip" for the local time of ANow.
std::string ArchiveFileName(Time::TInstant ANow);

struct TArchive {
  std::string Path;  // the zip
  int Files = 0;     // entries written
};

// Replaces ADocumentsFolder/ZELLogsSnapshot with a copy of ALogsFolder, then writes
// ADocumentsFolder/<ArchiveFileName(ANow)> (an existing file of that name is replaced).
// Symbolic links are neither copied nor followed. Raises EInOutError (or the file system's
// own error) when a step fails; the archive file is closed in every case.
TArchive Make(const std::string& ADocumentsFolder, const std::string& ALogsFolder, Time::TInstant ANow);

}  // namespace ZEL::LogsArchive
