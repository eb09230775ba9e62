#pragma once
// The signed-in account as the edge's requests and response topic carry it.

#include <string>

namespace ZEL::Edge {

struct TAccount {
  std::string Email;
  std::string Name;
};

// The authentication service's account e-mail and display name, read at each call;
// empty texts when nobody is signed in or the service is not registered.
TAccount SignedInAccount();

}  // namespace ZEL::Edge
