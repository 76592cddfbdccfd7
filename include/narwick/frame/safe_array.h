// SafeArray: an Automation array with explicit bounds per dimension.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "narwick/frame/types.h"
#include "narwick/frame/variant.h"

namespace narwick {

struct ArrayBounds {
  Long lbound = 0;
  Long ubound = -1;  // ubound = lbound - 1 is an empty dimension
  friend bool operator==(const ArrayBounds&, const ArrayBounds&) = default;
};

// Elements are Variants tagged with the array's element kind; a fresh element holds that
// kind's default (0, "", False, Empty). Indexing outside the bounds raises run-time error 9.
// Multi-dimensional arrays store the first index fastest, as Automation does.
class SafeArray {
 public:
  SafeArray() = default;  // no dimensions: an unallocated dynamic array
  SafeArray(VbVarType element, Long lbound, Long ubound);
  SafeArray(VbVarType element, std::vector<ArrayBounds> bounds);

  VbVarType ElementType() const { return element_; }
  int Dims() const { return static_cast<int>(bounds_.size()); }
  Long LBound(int dimension = 1) const;  // 9 for a dimension the array lacks
  Long UBound(int dimension = 1) const;
  std::size_t Count() const { return elements_.size(); }

  Variant& operator()(Long i);
  const Variant& operator()(Long i) const;
  Variant& operator()(Long i, Long j);
  const Variant& operator()(Long i, Long j) const;

  // ReDim of the last dimension (or the only one); Preserve keeps elements that stay in range.
  void ReDim(Long lbound, Long ubound, bool preserve);

  // Unchecked element storage in index order, for cores that have validated their range.
  std::span<Variant> elements() { return elements_; }
  std::span<const Variant> elements() const { return elements_; }

  // Byte arrays to and from plain bytes; ToBytes converts each element with CByte.
  static SafeArray FromBytes(std::span<const Byte> bytes, Long lbound = 0);
  std::vector<Byte> ToBytes() const;
  static SafeArray FromValues(VbVarType element, Long lbound, std::initializer_list<Variant> values);

  friend bool operator==(const SafeArray&, const SafeArray&) = default;

 private:
  std::size_t Offset(Long i, int dimension) const;

  VbVarType element_ = VbVarType::vbVariant;
  std::vector<ArrayBounds> bounds_;
  std::vector<Variant> elements_;
};

// The default value of a fresh element of the given kind.
Variant DefaultValue(VbVarType element);

}  // namespace narwick
