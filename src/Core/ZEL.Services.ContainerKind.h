#pragma once
// Which container holds a service: the global one (lives for the whole run) or the ZEL one
// (made by the main window for a signed-in session, freed at sign-out).

namespace ZEL {

enum class TServiceContainerKind { Global, ZEL };

}  // namespace ZEL
