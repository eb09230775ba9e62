#pragma once
// Small routines shared by several units: the certificate folder, the version text and its
// copy to the clipboard, "Yes"/"No", readable durations. Object ids and the ID token reader
// live in their own headers, included here for callers that want the whole set.

#include "ZEL.Time.h"
#include "ZEL.Utils.JWT.h"
#include "ZEL.Utils.ObjectId.h"

#include <functional>
#include <string>

namespace ZEL::Utils {

// The running executable's folder with a trailing '/', where the broker's key and
// certificate files are looked up.
std::string AppCertsStoragePath();

// "<ShortCode>.DEV (<Branch>/<Revision>)" from the build constants taken from git at
// configure time (Git.Revision.h; "unknown" outside a checkout).
std::string GetAppVersionInfo();

// The clipboard is a GUI service: the UI layer installs the routine that puts a text on
// it. No hook (or an empty one) means no clipboard. Safe from any thread.
using TClipboardSetter = std::function<void(const std::string&)>;
void SetClipboardSetter(TClipboardSetter ASetter);

// Copies the version text to the clipboard and shows a toast saying whether it was copied.
void CopyVersionInfoToUser();

// "Yes" / "No".
const char* BoolToStrUF(bool AValue);

// How long ago AFromDate was: "45s ago...", "2h ago...", with AppendDate
// "3day(s) ago...(<date>)". MissingDate gives "N/D".
std::string DateToReadableLastSeen(Time::TInstant AFromDate, bool AppendDate);
// How long until ATillDate: "1m", with AppendDate "1m (resume at: <date>)"; "0s" once
// ATillDate has passed. MissingDate gives "N/D".
std::string DateToReadableUnpause(Time::TInstant ATillDate, bool AppendDate);

// The number-and-unit part shared by both: "60s", "1m", "60m", "1h", "24h", "1day(s)".
std::string ReadableDuration(std::int64_t ASeconds);

}  // namespace ZEL::Utils
