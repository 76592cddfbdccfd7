// Bounded arrays: bounds checks raise 9, as every Automation array access does.
#include "narwick/frame/safe_array.h"

#include "narwick/frame/convert.h"
#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/object.h"

namespace narwick {

namespace {

std::size_t ElementCount(const std::vector<ArrayBounds>& bounds) {
  std::size_t count = bounds.empty() ? 0 : 1;
  for (const auto& b : bounds) {
    // In 64 bits: one below the smallest Long is no Long.
    if (std::int64_t{b.ubound} < std::int64_t{b.lbound} - 1) Raise(err::kSubscriptOutOfRange);
    count *= static_cast<std::size_t>(std::int64_t{b.ubound} - b.lbound + 1);
  }
  return count;
}

// The upper bound of `count` elements from `lbound`; 9 when it would pass the largest Long.
Long UpperBoundFor(Long lbound, std::size_t count) {
  const std::int64_t ubound = lbound + static_cast<std::int64_t>(count) - 1;
  if (ubound > INT32_MAX) Raise(err::kSubscriptOutOfRange);
  return static_cast<Long>(ubound);
}

}  // namespace

Variant DefaultValue(VbVarType element) {
  switch (element) {
    case VbVarType::vbInteger: return Variant(Integer{0});
    case VbVarType::vbLong: return Variant(0);
    case VbVarType::vbByte: return Variant(Byte{0});
    case VbVarType::vbSingle: return Variant(0.0f);
    case VbVarType::vbDouble: return Variant(0.0);
    case VbVarType::vbCurrency: return Variant(Currency{});
    case VbVarType::vbDate: return Variant(Date{});
    case VbVarType::vbString: return Variant(String());
    case VbVarType::vbBoolean: return Variant(false);
    case VbVarType::vbObject: return Variant(Object());
    default: return Variant();
  }
}

SafeArray::SafeArray(VbVarType element, Long lbound, Long ubound)
    : SafeArray(element, std::vector<ArrayBounds>{{lbound, ubound}}) {}

SafeArray::SafeArray(VbVarType element, std::vector<ArrayBounds> bounds)
    : element_(element), bounds_(std::move(bounds)) {
  elements_.assign(ElementCount(bounds_), DefaultValue(element_));
}

Long SafeArray::LBound(int dimension) const {
  if (dimension < 1 || dimension > Dims()) Raise(err::kSubscriptOutOfRange);
  return bounds_[static_cast<std::size_t>(dimension - 1)].lbound;
}

Long SafeArray::UBound(int dimension) const {
  if (dimension < 1 || dimension > Dims()) Raise(err::kSubscriptOutOfRange);
  return bounds_[static_cast<std::size_t>(dimension - 1)].ubound;
}

std::size_t SafeArray::Offset(Long i, int dimension) const {
  const auto& b = bounds_[static_cast<std::size_t>(dimension - 1)];
  if (i < b.lbound || i > b.ubound) Raise(err::kSubscriptOutOfRange);
  return static_cast<std::size_t>(std::int64_t{i} - b.lbound);
}

Variant& SafeArray::operator()(Long i) {
  if (Dims() != 1) Raise(err::kSubscriptOutOfRange);
  return elements_[Offset(i, 1)];
}

const Variant& SafeArray::operator()(Long i) const {
  if (Dims() != 1) Raise(err::kSubscriptOutOfRange);
  return elements_[Offset(i, 1)];
}

Variant& SafeArray::operator()(Long i, Long j) {
  if (Dims() != 2) Raise(err::kSubscriptOutOfRange);
  std::size_t rows = static_cast<std::size_t>(std::int64_t{bounds_[0].ubound} - bounds_[0].lbound + 1);
  return elements_[Offset(i, 1) + rows * Offset(j, 2)];
}

const Variant& SafeArray::operator()(Long i, Long j) const {
  return const_cast<SafeArray&>(*this)(i, j);
}

void SafeArray::ReDim(Long lbound, Long ubound, bool preserve) {
  std::vector<ArrayBounds> resized = bounds_;
  if (resized.empty()) resized.emplace_back();
  resized.back() = {lbound, ubound};
  const std::size_t count = ElementCount(resized);  // raises before anything changes
  if (!preserve || bounds_.empty()) {
    bounds_ = std::move(resized);
    elements_.assign(count, DefaultValue(element_));
    return;
  }
  // Preserve may change only the upper bound of the last dimension, as in VB; with the
  // first index fastest, that keeps the existing elements at the front.
  if (resized.back().lbound != bounds_.back().lbound) Raise(err::kSubscriptOutOfRange);
  bounds_ = std::move(resized);
  elements_.resize(count, DefaultValue(element_));
}

SafeArray SafeArray::FromBytes(std::span<const Byte> bytes, Long lbound) {
  SafeArray array(VbVarType::vbByte, lbound, UpperBoundFor(lbound, bytes.size()));
  for (std::size_t i = 0; i < bytes.size(); ++i) array.elements_[i] = Variant(bytes[i]);
  return array;
}

std::vector<Byte> SafeArray::ToBytes() const {
  std::vector<Byte> bytes;
  bytes.reserve(elements_.size());
  for (const auto& element : elements_) {
    bytes.push_back(element.VarType() == VbVarType::vbByte ? static_cast<Byte>(element.Int())
                                                           : CByte(element));
  }
  return bytes;
}

SafeArray SafeArray::FromValues(VbVarType element, Long lbound, std::initializer_list<Variant> values) {
  SafeArray array(element, lbound, UpperBoundFor(lbound, values.size()));
  std::size_t i = 0;
  for (const auto& v : values) array.elements_[i++] = v;
  return array;
}

}  // namespace narwick
