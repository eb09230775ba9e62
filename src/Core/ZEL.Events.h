#pragma once
// The alert model and the alert list.

#include "ZEL.Events.Event.h"      // IWYU pragma: export
#include "ZEL.Events.Extra.h"      // IWYU pragma: export
#include "ZEL.Events.Item.h"       // IWYU pragma: export
#include "ZEL.Events.List.h"       // IWYU pragma: export
#include "ZEL.Events.Originator.h" // IWYU pragma: export
#include "ZEL.Events.Types.h"      // IWYU pragma: export
