#include "list/list_sort.h"

#include <compare>
#include <utility>

#include "narwick/frame/convert.h"
#include "narwick/frame/error.h"

namespace narwick::list {
namespace {

enum Kind : Long { kString = 1, kNumber = 2, kDate = 3, kTime = 4, kDateAndTime = 5 };

const char16_t* DatePattern(Long kind) {
  switch (kind) {
    case kDate: return u"mmm d, yyyy";
    case kTime: return u"hh:nn:ss";
    default: return u"mmm d, yyyy hh:nn:ss";
  }
}

}  // namespace

SortKey SortKey::Prepare(const Variant& item, Long kind) {
  SortKey key;
  try {
    switch (kind) {
      case kString:
        key.text_ = UCase(CStr(item));
        key.form_ = Form::kText;
        break;
      case kNumber:
        key.number_ = CDbl(item);
        key.form_ = Form::kNumber;
        break;
      case kDate: case kTime: case kDateAndTime: {
        // What the kind ignores is dropped by writing the value with the kind's pattern and
        // reading that text back as a date.
        String text = FormatDate(Variant(Date{CDate(item)}), DatePattern(kind));
        key.number_ = DateSerialFromText(text);
        key.form_ = Form::kNumber;
        break;
      }
      default:
        key.value_ = item;
        key.form_ = Form::kVariant;
        break;
    }
  } catch (const RuntimeError&) {
    key.form_ = Form::kFailed;
  }
  return key;
}

int SortKey::Order(const SortKey& a, const SortKey& b) {
  if (a.form_ == Form::kFailed || b.form_ == Form::kFailed) return 2;
  std::partial_ordering order = std::partial_ordering::unordered;
  switch (a.form_) {
    case Form::kText: order = a.text_ <=> b.text_; break;
    case Form::kNumber: order = a.number_ <=> b.number_; break;
    default:
      try {
        order = Compare(a.value_, b.value_);
      } catch (const RuntimeError&) {
        return 2;  // an Error value against another kind, an object
      }
      break;
  }
  if (order == std::partial_ordering::less) return -1;
  if (order == std::partial_ordering::equivalent) return 0;
  if (order == std::partial_ordering::greater) return 1;
  return 2;
}

bool SortKey::Below(const SortKey& a, const SortKey& p) { return Order(a, p) == -1; }

bool SortKey::Above(const SortKey& b, const SortKey& p) { return Order(b, p) == 1; }

bool SortKey::PairNeedsSwap(const SortKey& a, const SortKey& b, const SortKey& p) {
  int ap = Order(a, p);
  int bp = Order(b, p);
  return (ap == 0 || ap == 1) && (bp == 0 || bp == -1);
}

// The keys are prepared once per row: preparing a value is a pure function of the value, so
// comparing prepared keys gives what preparing at every comparison would. The partition moves
// a permutation instead of the rows (an exchange of two rows is an exchange of two entries);
// the rows are put in their final places once at the end. Ranges are kept on an explicit stack
// in the order the recursive form visits them (low..j before i..high), so deep partitions
// cannot exhaust the stack and the last index looked up is the same.
ListNode* QuickSortRows(const std::vector<ListNode*>& rows, Long first, int item_number, Long kind) {
  const bool item_in_range = item_number >= 1 && item_number <= kItemCount;
  const std::size_t n = rows.size();
  std::vector<SortKey> keys;
  keys.reserve(n);
  const Variant empty;
  for (ListNode* row : rows) {
    keys.push_back(SortKey::Prepare(item_in_range ? row->items[static_cast<std::size_t>(item_number - 1)] : empty, kind));
  }
  // perm[p]: the original row now standing at position p.
  std::vector<std::size_t> perm(n);
  for (std::size_t p = 0; p < n; ++p) perm[p] = p;
  auto at = [&](Long index) { return static_cast<std::size_t>(index - first); };
  auto key = [&](Long index) -> const SortKey& { return keys[perm[at(index)]]; };

  ListNode* last_lookup = nullptr;
  std::vector<std::pair<Long, Long>> ranges;
  if (n > 0) ranges.emplace_back(first, static_cast<Long>(first + static_cast<Long>(n) - 1));
  while (!ranges.empty()) {
    auto [low, high] = ranges.back();
    ranges.pop_back();
    if (high <= low) continue;
    const Long mid = static_cast<Long>((std::int64_t{low} + high) / 2);
    last_lookup = rows[at(mid)];
    const SortKey& pivot = key(mid);  // the key storage never moves, only perm does
    Long i = low;
    Long j = high;
    bool stuck = false;
    while (i <= j) {
      last_lookup = rows[at(j)];  // the lookups of i and then j; a swap looks them up again
      const SortKey& a = key(i);
      const SortKey& b = key(j);
      if (SortKey::PairNeedsSwap(a, b, pivot)) {
        std::swap(perm[at(i)], perm[at(j)]);
        ++i;
        --j;
      } else {
        const bool below = SortKey::Below(a, pivot);
        const bool above = SortKey::Above(b, pivot);
        if (below) ++i;
        if (above) --j;
        if (!below && !above) {
          stuck = true;
          break;
        }
      }
    }
    if (stuck) continue;
    ranges.emplace_back(i, high);
    ranges.emplace_back(low, j);
  }

  std::vector<Items> original(n);
  for (std::size_t p = 0; p < n; ++p) original[p] = std::move(rows[p]->items);
  for (std::size_t p = 0; p < n; ++p) rows[p]->items = std::move(original[perm[p]]);
  return last_lookup;
}

}  // namespace narwick::list
