// Errors the keyed map raises on its own account.
#pragma once

#include "narwick/frame/types.h"

namespace narwick::collections {

// Remove or rename of a key the map does not hold.
inline constexpr Long kElementNotFound = 32811;
inline constexpr char16_t kElementNotFoundText[] = u"Element not found";
inline constexpr char16_t kMapErrorSource[] = u"Scripting.Dictionary";

}  // namespace narwick::collections
