// clsOrderedLinkedList: the "|" / "~" text, the record file, delimited strings and list copy.
#include <array>
#include <string>
#include <utility>

#include "frame/checked.h"
#include "frame/trap.h"
#include "list/list_cursor.h"
#include "list/list_file.h"
#include "list/list_file_format.h"
#include "list/list_record.h"
#include "list/ordered_list_store.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/list/ordered_linked_list.h"

namespace narwick {

using list::CursorNode;
using list::IsItemNumber;
using list::ItemOf;
using list::ListNode;
using list::OrderedListStore;
namespace format = list::format;

namespace {

void AppendDecimal(String& text, Long value) {
  char digits[16];
  int n = 0;
  std::int64_t v = value;
  const bool negative = v < 0;
  if (negative) v = -v;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  if (negative) text.push_back(u'-');
  while (n > 0) text.push_back(static_cast<char16_t>(digits[--n]));
}

// An item in the list text: Empty, Null and objects give no characters, anything else its CStr
// text (an array has none: run-time error 13).
void AppendItemText(String& text, const Variant& item) {
  if (item.IsString()) {
    text += item.Str();
  } else if (!item.IsEmpty() && !item.IsNull() && !item.IsObject()) {
    text += CStr(item);
  }
}

// The index field of a list text record. Plain decimal digits are read directly; anything else
// goes through the text-to-Long conversion (13 when it is not a number, 6 beyond a Long).
Long IndexFromField(StringView field) {
  if (!field.empty() && field.size() <= 9) {
    Long value = 0;
    bool digits = true;
    for (char16_t c : field) {
      if (c < u'0' || c > u'9') {
        digits = false;
        break;
      }
      value = value * 10 + (c - u'0');
    }
    if (digits) return value;
  }
  return CLng(Variant(String(field)));
}

// Split with text comparison: the delimiter matches without regard to letter case, pieces
// keep their own letters, empty pieces stay. An empty delimiter gives the whole text.
std::vector<String> SplitIgnoringCase(const String& text, const String& delimiter) {
  std::vector<String> pieces;
  if (delimiter.empty()) {
    pieces.push_back(text);
    return pieces;
  }
  const String folded_text = LCase(text);
  const String folded_delimiter = LCase(delimiter);
  std::size_t start = 0;
  for (;;) {
    std::size_t at = folded_text.find(folded_delimiter, start);
    if (at == String::npos) break;
    pieces.push_back(text.substr(start, at - start));
    start = at + delimiter.size();
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

clsOrderedLinkedList& NeedList(clsOrderedLinkedList* list) {
  if (list == nullptr) Raise(err::kObjectVariableNotSet);
  return *list;
}

}  // namespace

// --- Text ---

// An empty list gives the empty text whatever the cursor: the walk starts only when MoveFirst
// finds a node, so the sentinels are never written.
String clsOrderedLinkedList::putLinkedListToString() {
  return trap::Leave(String(), [&] {
    OrderedListStore::CursorMemo memo(*store_);
    String text;
    for (ListNode* node = store_->first(); node != store_->tail(); node = node->next) {
      store_->set_cursor(node);
      if (node != store_->first()) text.push_back(format::kRecordSeparator);
      AppendDecimal(text, node->index);
      for (const Variant& item : node->items) {
        text.push_back(format::kFieldSeparator);
        AppendItemText(text, item);
      }
    }
    memo.Restore();
    return text;
  });
}

// A text without "|" (an empty or one-node list) is refused, as the original refuses it.
VariantBool clsOrderedLinkedList::getLinkedListFromString(const String& linkListString, VariantBool emptyListFirst) {
  return trap::Leave(False, [&] {
    if (emptyListFirst) store_->Clear();
    if (linkListString.find(format::kRecordSeparator) == String::npos) return False;
    const StringView text(linkListString);
    std::size_t record_start = 0;
    for (;;) {
      std::size_t record_end = text.find(format::kRecordSeparator, record_start);
      if (record_end == StringView::npos) record_end = text.size();
      const StringView record = text.substr(record_start, record_end - record_start);
      if (record.find(format::kFieldSeparator) != StringView::npos) {
        StringView fields[format::kTextFieldCount];
        int count = 0;
        std::size_t field_start = 0;
        while (count < format::kTextFieldCount) {
          std::size_t field_end = record.find(format::kFieldSeparator, field_start);
          if (field_end == StringView::npos) {
            fields[count++] = record.substr(field_start);
            break;
          }
          fields[count++] = record.substr(field_start, field_end - field_start);
          field_start = field_end + 1;
        }
        if (count < format::kTextFieldCount) Raise(err::kSubscriptOutOfRange);
        const Long index = IndexFromField(fields[0]);
        list::Items items;
        for (int k = 0; k < list::kItemCount; ++k) {
          items[static_cast<std::size_t>(k)] = Variant(String(fields[k + 1]));
        }
        store_->Insert(index, std::move(items));
      }
      if (record_end == text.size()) break;
      record_start = record_end + 1;
    }
    return True;
  });
}

// --- Record file ---

VariantBool clsOrderedLinkedList::putLinkedListToFile(const String& FileLocation) {
  return trap::Leave(False, [&] {
    OrderedListStore::CursorMemo memo(*store_);
    list::ReplacingFileWriter writer;
    if (!writer.Open(ToUtf8(FileLocation))) return False;
    std::array<std::uint8_t, format::kRecordSize> record;
    for (ListNode* node = store_->first(); node != store_->tail(); node = node->next) {
      store_->set_cursor(node);
      if (list::EncodeRecord(node->index, node->items, record) != list::EncodeStatus::kOk) return False;
      if (!writer.Write(record)) return False;
    }
    if (!writer.Commit()) return False;
    memo.Restore();
    return True;
  });
}

VariantBool clsOrderedLinkedList::getLinkedListFromFile(const String& FileLocation) {
  return trap::Leave(False, [&] {
    if (!file_system_helper_) file_system_helper_ = CreateFileSystemTools();
    if (!file_system_helper_->FileExists(FileLocation)) return False;
    list::RecordReader reader(format::kRecordSize);
    if (!reader.Open(ToUtf8(FileLocation))) return False;
    while (const std::uint8_t* bytes = reader.Next()) {
      Long index = 0;
      list::Items items;
      if (!list::DecodeRecord(list::ConstRecordBytes(bytes, format::kRecordSize), index, items)) return False;
      store_->Insert(index, std::move(items));
    }
    return VariantBool(!reader.failed());
  });
}

// --- Delimited strings ---

String clsOrderedLinkedList::CopyLinkedListItemsToDelimiterSeparatedString(Integer itemNum,
                                                                          const String& delimiterSeparator) {
  String result;
  return trap::LeaveWithCurrent(result, [&] {
    OrderedListStore::CursorMemo memo(*store_);
    String text;
    const bool in_range = IsItemNumber(itemNum);
    for (ListNode* node = store_->first(); node != store_->tail(); node = node->next) {
      store_->set_cursor(node);
      if (node != store_->first()) text += delimiterSeparator;
      if (!in_range) continue;  // Empty: no characters
      const Variant& item = ItemOf(*node, itemNum);
      if (item.IsString()) {
        text += item.Str();
      } else {
        text += CStr(item);
      }
    }
    memo.Restore();
    result = std::move(text);
  });
}

Variant clsOrderedLinkedList::putDelimiterSeparatedStringToLinkedList(Integer itemNum, const String& commaStr,
                                                                      const String& delimiterSeparator,
                                                                      VariantBool emptyListFirstFlag) {
  Variant result;
  return trap::LeaveWithCurrent(result, [&] {
    if (emptyListFirstFlag) store_->Clear();
    if (commaStr.empty()) return;
    std::vector<String> pieces = SplitIgnoringCase(commaStr, delimiterSeparator);
    if (!IsItemNumber(itemNum)) return;
    Long index = 0;
    for (String& piece : pieces) {
      list::Items items;
      items[static_cast<std::size_t>(itemNum - 1)] = Variant(std::move(piece));
      store_->Insert(index, std::move(items));
      index = checked::Add(index, 1);
    }
  });
}

// --- List copy ---

// Runs on the lists' own members, as a host would call them: the receiver, the source and the
// destination may be the same list, and each call moves that list's cursor.
Variant clsOrderedLinkedList::CopyEntireListToSecondList(const Object& sourceList, const Object& destList,
                                                         VariantBool emptyDestListFirst) {
  // A list parameter accepts Nothing (the copy then fails inside) but no other class.
  auto* source = sourceList.As<clsOrderedLinkedList>();
  auto* dest = destList.As<clsOrderedLinkedList>();
  if ((!sourceList.IsNothing() && source == nullptr) || (!destList.IsNothing() && dest == nullptr)) {
    Raise(err::kTypeMismatch);
  }
  Variant result;
  return trap::LeaveWithCurrent(result, [&] {
    OrderedListStore::CursorMemo memo(*store_);
    Long next_index = 0;
    if (emptyDestListFirst) {
      NeedList(dest).EmptyList();
    } else {
      next_index = checked::Add(UBoundNodeIndex(), 1);
    }
    clsOrderedLinkedList& from = NeedList(source);
    if (from.MoveFirst()) {
      while (!from.IsTailNode()) {
        Variant items[list::kItemCount];
        for (int k = 0; k < list::kItemCount; ++k) items[k] = from.getCurrentListItem(static_cast<Integer>(k + 1));
        clsOrderedLinkedList& to = NeedList(dest);
        Long index = next_index;
        if (emptyDestListFirst) index = CLng(from.getCurrentListIndex());
        to.AddNewNode(index, items[0], items[1], items[2], items[3], items[4], items[5], items[6], items[7],
                      items[8], items[9], items[10], items[11]);
        if (!emptyDestListFirst) next_index = checked::Add(next_index, 1);
        from.MoveNext();
      }
    }
    memo.Restore();
  });
}

}  // namespace narwick
