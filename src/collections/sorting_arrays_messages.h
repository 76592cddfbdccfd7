// Fixed texts of clsSortingArrays.
#pragma once

namespace narwick::collections {

// The title of the boxes of viewArray and printArray: the project's name, which is what a
// message box without a title of its own shows.
inline constexpr char16_t kArrayBoxTitle[] = u"Narwick";

}  // namespace narwick::collections
