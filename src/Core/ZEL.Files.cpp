#include "ZEL.Files.h"

#include <sys/stat.h>

#include <cerrno>

namespace ZEL::Files {

bool MakePrivateFolders(const std::string& APath) {
  if (APath.empty()) return false;
  struct stat st {};
  if (::stat(APath.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    errno = ENOTDIR;
    return false;
  }
  std::string parent = APath;
  while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
  const std::size_t slash = parent.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakePrivateFolders(parent.substr(0, slash)))
    return false;
  return ::mkdir(APath.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace ZEL::Files
