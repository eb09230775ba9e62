#include "ZEL.Generics.Collections.h"

namespace ZEL::Generics::Collections {

std::string_view NotificationName(TCollectionNotification AAction) {
  switch (AAction) {
    case TCollectionNotification::cnAdding: return "cnAdding";
    case TCollectionNotification::cnAdded: return "cnAdded";
    case TCollectionNotification::cnExtracting: return "cnExtracting";
    case TCollectionNotification::cnExtracted: return "cnExtracted";
    case TCollectionNotification::cnDeleting: return "cnDeleting";
    case TCollectionNotification::cnRemoved: return "cnRemoved";
  }
  return "cnUnknown";
}

}  // namespace ZEL::Generics::Collections
