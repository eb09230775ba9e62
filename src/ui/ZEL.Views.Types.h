#pragma once
// The views of both host windows. Host stands for no view (where the first view comes
// from); Startup names no view of either window.

#include <array>
#include <cstddef>
#include <string_view>

namespace ZEL {

enum class TView {
  Host,
  Startup,
  Authorize,
  Login,
  Register,
  Profile,
  Events,
  EventItems,
  EventItemDetails,
  EdgeDevcies  // spelled so: the name is written to the log
};

inline constexpr std::size_t TViewCount = 10;

// The value's name exactly as declared.
std::string_view ToString(TView AView);

}  // namespace ZEL
