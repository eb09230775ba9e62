#pragma once
// File-system steps shared by the settings file and the log: what the client makes for its
// user is readable by that user alone.

#include <string>

namespace ZEL::Files {

// Makes APath and its missing parents, each new folder 0700; folders that exist keep their
// mode. False when a part is not a folder or cannot be made (errno says why).
bool MakePrivateFolders(const std::string& APath);

}  // namespace ZEL::Files
