#include "ZEL.Views.Types.h"

namespace ZEL {

std::string_view ToString(TView AView) {
  static constexpr std::array<std::string_view, TViewCount> Names = {
      "Host", "Startup", "Authorize", "Login", "Register",
      "Profile", "Events", "EventItems", "EventItemDetails", "EdgeDevcies"};
  const auto LIndex = static_cast<std::size_t>(AView);
  return LIndex < Names.size() ? Names[LIndex] : std::string_view("?");
}

}  // namespace ZEL
