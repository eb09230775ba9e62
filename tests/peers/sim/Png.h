#pragma once
// Small RGB pictures for attachments, made on the fly so that no binary sits in the tree.

#include <string>
#include <string_view>

namespace ZelSim {

// A PNG of AWidth x AHeight whose colours and stripes follow a hash of ASeed, so each
// attachment id always gives the same picture.
std::string MakePng(std::string_view ASeed, int AWidth = 160, int AHeight = 120);

}  // namespace ZelSim
