#include "ZEL.Edge.Account.h"

#include "ZEL.Auth.Service.Interf.h"
#include "ZEL.Services.Container.h"

namespace ZEL::Edge {

TAccount SignedInAccount() {
  TAccount account;
  if (auto auth = Services::Container::ZELServiceLocator()->GetService<IAuthService>()) {
    account.Email = auth->GetAccountID();
    account.Name = auth->GetAccountDisplayName();
  }
  return account;
}

}  // namespace ZEL::Edge
