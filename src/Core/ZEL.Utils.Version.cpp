#include "ZEL.UINotification.h"
#include "ZEL.Utils.h"
#include "ZEL.Utils.Clipboard.h"

#include "Git.Revision.h"

#include <fmt/format.h>

#include <memory>
#include <mutex>

namespace ZEL::Utils {

namespace {

// The product code in front of every version text.
constexpr const char* PRODUCT_CODE = "VOR";

std::mutex GClipboardLock;
std::shared_ptr<const TClipboardSetter> GClipboardSetter;

}  // namespace

std::string GetAppVersionInfo() {
  return fmt::format("{}.DEV ({}/{})", PRODUCT_CODE, GitRevision::GIT_BRANCH,
                     GitRevision::GIT_REV_SHORT);
}

void SetClipboardSetter(TClipboardSetter ASetter) {
  auto setter = ASetter ? std::make_shared<const TClipboardSetter>(std::move(ASetter)) : nullptr;
  std::lock_guard lock(GClipboardLock);
  GClipboardSetter = std::move(setter);
}

bool CopyToClipboard(const std::string& AText) {
  std::shared_ptr<const TClipboardSetter> setter;
  {
    std::lock_guard lock(GClipboardLock);
    setter = GClipboardSetter;
  }
  if (!setter) return false;
  (*setter)(AText);
  return true;
}

void CopyVersionInfoToUser() {
  const std::string version = GetAppVersionInfo();
  std::shared_ptr<const TClipboardSetter> setter;
  {
    std::lock_guard lock(GClipboardLock);
    setter = GClipboardSetter;
  }
  std::string message;
  if (setter) {
    (*setter)(version);
    message = "Value \"" + version + "\" copied to clipboard.";
  } else {
    message = "Value \"" + version + "\" not copied to clipboard (Clipboard not supported by platform)";
  }
  TZELUINotification::ShowToast(std::move(message));
}

}  // namespace ZEL::Utils
