// The value of an object's default member, used when an object converts to a plain value.
#pragma once

#include "narwick/frame/variant.h"

namespace narwick::frame {

// Reads the default member (dispatch id 0) of the object in `object_value`:
// 91 on Nothing, 438 when the class has no default member.
Variant DefaultValueOf(const Variant& object_value);

}  // namespace narwick::frame
