// Differential test: random sequences of every member run on clsOrderedLinkedList and on a
// plain model written here from the literal algorithms (linear walks from the head sentinel,
// no index), comparing each result, the whole chain and the cursor after every step.
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <optional>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "narwick/frame/codepage.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/object.h"
#include "list/ordered_list_peer.h"
#include "narwick/list/ordered_linked_list.h"
#include "testing/test_support.h"

namespace narwick {
namespace {

using Items = list::Items;

Variant B(VariantBool b) { return Variant(b); }
Variant B(bool b) { return Variant(VariantBool(b)); }

// ---------------------------------------------------------------------------------------
// The model: nodes live until the model dies (as references would keep them), links are
// followed literally, every lookup walks from the head sentinel.
struct MNode {
  MNode* previous = nullptr;
  MNode* next = nullptr;
  Long index = -1;
  Items items;
};

class Model {
 public:
  Model() {
    head_ = Fresh();
    tail_ = Fresh();
    head_->next = tail_;
    tail_->previous = head_;
    cursor_ = Fresh();  // the placeholder
  }

  MNode* head() const { return head_; }
  MNode* tail() const { return tail_; }
  MNode* cursor() const { return cursor_; }

  // FindNodePosition, index mode.
  bool FindIndex(Long value) {
    cursor_ = head_;
    for (;;) {
      if (cursor_->next == nullptr) return false;
      if (value <= cursor_->index) break;
      cursor_ = cursor_->next;
    }
    return value == cursor_->index;
  }

  Variant NodeCount() {
    MNode* saved = cursor_;
    cursor_ = head_;
    Long count = -1;
    while (cursor_->next != nullptr) {
      cursor_ = cursor_->next;
      ++count;
    }
    cursor_ = saved;
    return Variant::FromLong(count);
  }

  // Returns nothing; a failure simply ends the member.
  void AddNewNode(Long index, const Items& items) {
    MNode* n = Fresh();
    n->index = index;
    n->items = items;
    if (FindIndex(index)) return;
    MNode* c = cursor_;
    MNode* p = c->previous;
    if (p == nullptr) return;  // Nothing.NextItem: run-time error 91, the member ends
    p->next = n;
    n->previous = p;
    n->next = c;
    c->previous = n;
  }

  Variant EmptyList() {
    for (MNode* node = head_; node != nullptr;) {
      MNode* next = node->next;
      node->previous = nullptr;
      node->next = nullptr;
      node = next;
    }
    head_ = Fresh();
    tail_ = Fresh();
    head_->next = tail_;
    tail_->previous = head_;
    cursor_ = head_;
    return VariantBool(true);
  }

  Variant DeleteNode(Long index) {
    if (!FindIndex(index)) return VariantBool(false);
    MNode* c = cursor_;
    if (c->previous == nullptr) return VariantBool(false);  // 91 on the head sentinel
    c->previous->next = c->next;
    c->next->previous = c->previous;
    c->previous = c->next = nullptr;
    cursor_ = nullptr;
    return VariantBool(true);
  }

  Variant DeleteCurrentNode() {
    MNode* c = cursor_;
    if (c == nullptr || c->previous == nullptr || c->next == nullptr) return VariantBool(false);
    MNode* p = c->previous;
    p->next = c->next;
    c->next->previous = p;
    c->previous = c->next = nullptr;
    cursor_ = p;
    return VariantBool(true);
  }

  Variant editItem(Long index, const Variant& item, Integer k) {
    if (!FindIndex(index)) return VariantBool(false);
    if (k >= 1 && k <= 12) cursor_->items[static_cast<std::size_t>(k - 1)] = item;
    return VariantBool(true);
  }

  Variant editCurrentItem(const Variant& item, Integer k) {
    if (cursor_ == nullptr) return VariantBool(false);
    if (k >= 1 && k <= 12) cursor_->items[static_cast<std::size_t>(k - 1)] = item;
    return VariantBool(true);
  }

  Variant getListItem(Long index, Integer k) {
    if (FindIndex(index) && k >= 1 && k <= 12) return cursor_->items[static_cast<std::size_t>(k - 1)];
    return Variant();
  }

  Variant getListIndex(Long index) {
    if (FindIndex(index)) return Variant::FromLong(cursor_->index);
    return Variant();
  }

  Variant getCurrentListItem(Integer k) {
    if (cursor_ == nullptr) return Variant();
    if (k >= 1 && k <= 12) return cursor_->items[static_cast<std::size_t>(k - 1)];
    return Variant();
  }

  Variant getCurrentListIndex() {
    if (cursor_ == nullptr) return Variant();
    return Variant::FromLong(cursor_->index);
  }

  bool IsListEmpty() const { return head_->next->next == nullptr; }
  bool IsHeadNode() const { return cursor_ == nullptr || cursor_->previous == nullptr; }
  bool IsTailNode() const { return cursor_ == nullptr || cursor_->next == nullptr; }

  bool MoveFirst() {
    if (IsListEmpty()) return false;
    cursor_ = head_->next;
    return true;
  }
  bool MoveLast() {
    if (IsListEmpty()) return false;
    cursor_ = tail_->previous;
    return true;
  }
  bool MoveNext() {
    if (IsTailNode()) return false;
    cursor_ = cursor_->next;
    return true;
  }
  bool MovePrevious() {
    if (IsHeadNode()) return false;
    cursor_ = cursor_->previous;
    return true;
  }
  Variant UBoundNodeIndex() { return Variant::FromLong(MoveLast() ? cursor_->index : -1); }
  Variant LBoundNodeIndex() { return Variant::FromLong(MoveFirst() ? cursor_->index : -1); }

  // --- search and node operations ---

  // FindNodePosition by item, from the cursor as it stands; CStr failures propagate.
  bool WalkByItem(const Variant& value, Integer k) {
    for (;;) {
      if (cursor_->next == nullptr) return false;
      if (k >= 1 && k <= 12 && CStr(value) == CStr(cursor_->items[static_cast<std::size_t>(k - 1)])) return true;
      cursor_ = cursor_->next;
    }
  }
  Variant FindByIndex(Long index) { return B(FindIndex(index)); }
  Variant FindByItem(Integer k, const Variant& value) {
    try {
      cursor_ = head_;
      return Variant::FromLong(WalkByItem(value, k) ? cursor_->index : -1);
    } catch (const RuntimeError&) {
      return Variant::FromLong(-1);
    }
  }
  Variant FindNextByItem(Integer k, const Variant& value) {
    try {
      if (cursor_ == nullptr) return Variant::FromLong(-1);
      MoveNext();
      return Variant::FromLong(WalkByItem(value, k) ? cursor_->index : -1);
    } catch (const RuntimeError&) {
      return Variant::FromLong(-1);
    }
  }
  static void CopyNodeItems(const MNode* from, MNode* to) {
    for (std::size_t k = 0; k < 12; ++k) to->items[k] = from->items[k];
  }
  Variant SwapNodeContents(Long i1, Long i2) {
    if (!FindIndex(i1)) return B(false);
    MNode* a = cursor_;
    if (!FindIndex(i2)) return B(false);
    MNode* b = cursor_;
    MNode t;
    CopyNodeItems(a, &t);
    CopyNodeItems(b, a);
    CopyNodeItems(&t, b);
    return B(true);
  }
  Variant SwapNodeContentsWithPercolate(Long original, Long target) {
    if (!FindIndex(original)) return B(false);
    MNode* o = cursor_;
    if (!FindIndex(target)) return B(false);
    MNode* n = cursor_;
    if (original == target) return B(true);
    MNode t;
    if (target >= original) {
      MNode* x = o;
      MNode* y = o->next;
      for (;;) {
        bool is_n = y->index == n->index;
        CopyNodeItems(y, &t);
        CopyNodeItems(x, y);
        CopyNodeItems(&t, x);
        x = y;
        y = x->next;
        if (is_n) break;
      }
    } else {
      MNode* y = o;
      MNode* x = o->previous;
      for (;;) {
        bool is_n = x->index == n->index;
        CopyNodeItems(y, &t);
        CopyNodeItems(x, y);
        CopyNodeItems(&t, x);
        y = x;
        x = y->previous;
        if (is_n) break;
      }
    }
    return B(true);
  }
  Variant CopyNodeContents(Long from, Long to) {
    if (!FindIndex(from)) return B(false);
    MNode* s = cursor_;
    if (!FindIndex(to)) return B(false);
    CopyNodeItems(s, cursor_);
    return B(true);
  }
  Variant FindNextAvailableIndexLocation(bool start_at_zero) {
    Long first = start_at_zero ? 0 : 1;
    for (Long i = first; i <= CLng(NodeCount()); ++i) {
      if (!FindIndex(i)) return Variant::FromLong(i);
    }
    return Variant::FromLong(CLng(NodeCount()) + 1);
  }
  Variant InsertNodeAsFixedLengthQueue(Long max_length, const Items& items) {
    MNode* n = Fresh();
    n->index = 0;
    n->items = items;
    MNode* f = head_->next;
    head_->next = n;
    n->previous = head_;
    n->next = f;
    f->previous = n;
    Long i = 0;
    MoveFirst();
    do {
      cursor_->index = i;
      if (max_length > 0 && cursor_->index >= max_length) {
        DeleteCurrentNode();
        --i;
      }
      ++i;
      MoveNext();
    } while (!IsTailNode());
    return B(true);
  }

  // --- sorting ---

  void ReorderNodesSequentially(bool start_at_zero) {
    MNode* saved = cursor_;
    Long number = start_at_zero ? 0 : 1;
    cursor_ = head_;
    MoveNext();
    while (!IsTailNode()) {
      cursor_->index = number++;
      MoveNext();
    }
    cursor_ = saved;
  }
  // Prepares both values at every comparison; -1 / 0 / 1, or 2 when they do not compare.
  static int Order(const Variant& x, const Variant& y, Long kind) {
    try {
      switch (kind) {
        case 1: {
          String a = UCase(CStr(x)), b = UCase(CStr(y));
          return a < b ? -1 : a == b ? 0 : 1;
        }
        case 2: case 3: case 4: case 5: {
          double a, b;
          if (kind == 2) {
            a = CDbl(x);
            b = CDbl(y);
          } else {
            const char16_t* pattern = kind == 3 ? u"mmm d, yyyy" : kind == 4 ? u"hh:nn:ss" : u"mmm d, yyyy hh:nn:ss";
            a = DateSerialFromText(FormatDate(Variant(Date{CDate(x)}), pattern));
            b = DateSerialFromText(FormatDate(Variant(Date{CDate(y)}), pattern));
          }
          return a < b ? -1 : a == b ? 0 : a > b ? 1 : 2;
        }
        default: {
          auto o = Compare(x, y);
          return o == std::partial_ordering::less ? -1 : o == std::partial_ordering::equivalent ? 0
                 : o == std::partial_ordering::greater ? 1 : 2;
        }
      }
    } catch (const RuntimeError&) {
      return 2;
    }
  }
  void QuickSortNodeRange(Integer k, Long low, Long high) {
    if (high <= low) return;
    Long mid = (low + high) / 2;
    FindIndex(mid);
    Variant p = getCurrentListItem(k);
    Long i = low, j = high;
    while (i <= j) {
      FindIndex(i);
      Variant a = getCurrentListItem(k);
      FindIndex(j);
      Variant b = getCurrentListItem(k);
      int ap = Order(a, p, sort_kind_), bp = Order(b, p, sort_kind_);
      if ((ap == 0 || ap == 1) && (bp == 0 || bp == -1)) {
        SwapNodeContents(i, j);
        ++i;
        --j;
      } else {
        bool below = ap == -1, above = bp == 1;
        if (below) ++i;
        if (above) --j;
        if (!below && !above) return;  // nothing can move: this range ends
      }
    }
    QuickSortNodeRange(k, low, j);
    QuickSortNodeRange(k, i, high);
  }
  void StartQuickSortListBySingleItem(Integer k, Long kind) {
    if (IsListEmpty()) return;
    MoveFirst();
    bool from_zero = CLng(getCurrentListIndex()) == 0;
    ReorderNodesSequentially(from_zero);
    sort_kind_ = kind;
    Long count = CLng(NodeCount());
    if (from_zero) {
      QuickSortNodeRange(k, 0, count - 1);
    } else {
      QuickSortNodeRange(k, 1, count);
    }
  }

  // --- text ---

  static String ItemText(const Variant& v) {
    if (v.IsEmpty() || v.IsNull() || v.IsObject()) return String();
    return CStr(v);
  }
  Variant putLinkedListToString() {
    try {
      MNode* saved = cursor_;
      String text;
      bool first = true;
      if (MoveFirst()) {
        while (!IsTailNode()) {
          String record = CStr(Variant::FromLong(cursor_->index));
          for (const Variant& v : cursor_->items) record += u"~" + ItemText(v);
          text = first ? record : text + u"|" + record;
          first = false;
          MoveNext();
        }
      }
      cursor_ = saved;
      return Variant(text);
    } catch (const RuntimeError&) {
      return Variant(String());
    }
  }
  static std::vector<String> SplitAt(const String& text, const String& delimiter, bool ignore_case) {
    std::vector<String> pieces;
    if (delimiter.empty()) return {text};
    String piece;
    std::size_t i = 0;
    while (i < text.size()) {
      String candidate = text.substr(i, delimiter.size());
      bool match = ignore_case ? LCase(candidate) == LCase(delimiter) : candidate == delimiter;
      if (match) {
        pieces.push_back(piece);
        piece.clear();
        i += delimiter.size();
      } else {
        piece += text[i];
        ++i;
      }
    }
    pieces.push_back(piece);
    return pieces;
  }
  Variant getLinkedListFromString(const String& text, bool empty_first) {
    if (empty_first) EmptyList();
    if (text.find(u'|') == String::npos) return B(false);
    for (const String& record : SplitAt(text, u"|", false)) {
      if (record.find(u'~') == String::npos) continue;
      std::vector<String> fields = SplitAt(record, u"~", false);
      if (fields.size() < 13) return B(false);
      Long index;
      try {
        index = CLng(Variant(fields[0]));
      } catch (const RuntimeError&) {
        return B(false);
      }
      Items items;
      for (std::size_t k = 0; k < 12; ++k) items[k] = Variant(fields[k + 1]);
      AddNewNode(index, items);
    }
    return B(true);
  }

  // --- record file, kept in memory: rows as a load would give them back ---

  static int RecordSize(const Items& items) {
    int size = 4;
    for (const Variant& v : items) {
      switch (v.VarType()) {
        case VbVarType::vbEmpty: case VbVarType::vbNull: size += 2; break;
        case VbVarType::vbByte: size += 3; break;
        case VbVarType::vbInteger: case VbVarType::vbBoolean: size += 4; break;
        case VbVarType::vbLong: case VbVarType::vbSingle: case VbVarType::vbError: size += 6; break;
        case VbVarType::vbDouble: case VbVarType::vbCurrency: case VbVarType::vbDate: size += 10; break;
        case VbVarType::vbString: size += 4 + static_cast<int>(v.Str().size()); break;
        default: return 100000;  // objects and arrays have no record
      }
    }
    return size;
  }
  Variant putLinkedListToFile(std::optional<std::vector<std::pair<Long, Items>>>& file) {
    MNode* saved = cursor_;
    std::vector<std::pair<Long, Items>> rows;
    if (MoveFirst()) {
      while (!IsTailNode()) {
        if (RecordSize(cursor_->items) > 196) return B(false);  // the former file stays
        Items items = cursor_->items;
        for (Variant& v : items) {
          if (v.IsString()) v = Variant(FromAnsi(ToAnsi(v.Str())));
        }
        rows.emplace_back(cursor_->index, items);
        MoveNext();
      }
    }
    file = rows;
    cursor_ = saved;
    return B(true);
  }
  Variant getLinkedListFromFile(const std::optional<std::vector<std::pair<Long, Items>>>& file) {
    if (!file) return B(false);
    for (const auto& [index, items] : *file) AddNewNode(index, items);  // InsertNodeInOrder
    return B(true);
  }

  // --- delimited strings and copy ---

  Variant CopyLinkedListItemsToDelimiterSeparatedString(Integer k, const String& delimiter) {
    try {
      MNode* saved = cursor_;
      String text;
      if (MoveFirst()) {
        bool first = true;
        while (!IsTailNode()) {
          String value = CStr(getCurrentListItem(k));
          text = first ? value : text + delimiter + value;
          first = false;
          MoveNext();
        }
      }
      cursor_ = saved;
      return Variant(text);
    } catch (const RuntimeError&) {
      return Variant(String());
    }
  }
  Variant putDelimiterSeparatedStringToLinkedList(Integer k, const String& text, const String& delimiter,
                                                   bool empty_first) {
    if (empty_first) EmptyList();
    if (text.empty()) return Variant();
    std::vector<String> pieces = SplitAt(text, delimiter, true);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      if (k >= 1 && k <= 12) {
        Items items;
        items[static_cast<std::size_t>(k - 1)] = Variant(pieces[i]);
        AddNewNode(static_cast<Long>(i), items);
      }
    }
    return Variant();
  }
  // Receiver `this`; either list may be null (Nothing) or `this`.
  Variant CopyEntireListToSecondList(Model* source, Model* dest, bool empty_first) {
    MNode* saved = cursor_;
    std::int64_t n = 0;
    if (empty_first) {
      if (dest == nullptr) return Variant();
      dest->EmptyList();
    } else {
      n = std::int64_t{CLng(UBoundNodeIndex())} + 1;
      if (n > 2147483647) return Variant();
    }
    if (source == nullptr) return Variant();
    if (source->MoveFirst()) {
      while (!source->IsTailNode()) {
        Items items;
        for (Integer k = 1; k <= 12; ++k) items[static_cast<std::size_t>(k - 1)] = source->getCurrentListItem(k);
        if (dest == nullptr) return Variant();
        if (empty_first) {
          dest->AddNewNode(CLng(source->getCurrentListIndex()), items);
        } else {
          dest->AddNewNode(static_cast<Long>(n), items);
          if (++n > 2147483647) return Variant();
        }
        source->MoveNext();
      }
    }
    cursor_ = saved;
    return Variant();
  }
 private:
  Long sort_kind_ = 0;
  MNode* Fresh() {
    nodes_.emplace_back();
    return &nodes_.back();
  }

  std::deque<MNode> nodes_;
  MNode* head_;
  MNode* tail_;
  MNode* cursor_;
};

// ---------------------------------------------------------------------------------------
// Random operations.

class Driver {
 public:
  explicit Driver(std::uint64_t seed) : rng_(seed) {}

  Long RandomIndex() {
    switch (rng_() % 8) {
      case 0: return static_cast<Long>(rng_() % 4) - 3;  // -3 .. 0: sentinel and below
      default: return static_cast<Long>(rng_() % 24);
    }
  }
  Integer RandomItemNumber() { return static_cast<Integer>(static_cast<int>(rng_() % 15) - 1); }
  Variant RandomValue() {
    static const char16_t* const kTexts[] = {u"", u"a", u"b", u"A", u"5", u"x~y", u"10", u"9",
                                             u"Jan 5, 2020", u"15:04:05", u"caf\u00e9", u"\u0100x",
                                             u"a rather long text of forty characters.."};
    switch (rng_() % 12) {
      case 0: return Variant();
      case 1: return Variant(static_cast<int>(rng_() % 20) - 5);
      case 2: return Variant(static_cast<double>(rng_() % 100) / 4.0);
      case 3: case 4: return Variant(kTexts[rng_() % 13]);
      case 5: return Variant(rng_() % 2 == 0);
      case 6: return Variant(Integer{static_cast<Integer>(rng_() % 7)});
      case 7: return rng_() % 3 == 0 ? Variant::Null() : Variant(Byte{static_cast<Byte>(rng_() % 256)});
      case 8: return Variant(Date{43830.0 + static_cast<double>(rng_() % 12) + static_cast<double>(rng_() % 4) / 4.0});
      case 9: return Variant(Currency{static_cast<std::int64_t>(rng_() % 100000) - 50000});
      case 10: return Variant(static_cast<float>(rng_() % 50) / 8.0f);
      default: return rng_() % 4 == 0 ? Variant(probe_) : Variant(kTexts[rng_() % 4]);
    }
  }
  // Items as AddNewNode receives them: some left out.
  std::array<Variant, 12> RandomArgs() {
    std::array<Variant, 12> args;
    for (auto& a : args) a = rng_() % 3 == 0 ? Missing : RandomValue();
    return args;
  }
  static Items Stored(const std::array<Variant, 12>& args) {
    Items items;
    for (std::size_t k = 0; k < 12; ++k) {
      if (!args[k].IsMissing()) items[k] = args[k];
    }
    return items;
  }
  std::uint64_t Next() { return rng_(); }

 private:
  std::mt19937_64 rng_;
  Object probe_ = MakeObject(std::make_shared<clsOrderedLinkedList>());
};

// Two lists and their models (so that list copy has a partner), the file both write, and an
// object that items may hold.
struct World {
  explicit World(std::uint64_t seed) : d(seed) {
    for (auto& l : lists) l = std::make_shared<clsOrderedLinkedList>();
  }
  Driver d;
  Model models[2];
  std::shared_ptr<clsOrderedLinkedList> lists[2];
  testing::TempFolder folder;
  String path = folder.File("list.dat");
  std::optional<std::vector<std::pair<Long, Items>>> model_file;
};

String RandomText(Driver& d, std::initializer_list<const char16_t*> tokens, int max_tokens) {
  std::vector<const char16_t*> pool(tokens);
  String text;
  int n = static_cast<int>(d.Next() % static_cast<std::uint64_t>(max_tokens + 1));
  for (int i = 0; i < n; ++i) text += pool[d.Next() % pool.size()];
  return text;
}

// Runs one random member on list r of both worlds; returns a description for failure messages.
std::string Step(World& w, int r, Variant& model_result, Variant& real_result) {
  Driver& d = w.d;
  Model& m = w.models[r];
  clsOrderedLinkedList& l = *w.lists[r];
  const int kOps = 40;
  int op = static_cast<int>(d.Next() % kOps);
  Long index = d.RandomIndex();
  Long index2 = d.RandomIndex();
  Integer k = d.RandomItemNumber();
  model_result = real_result = Variant();
  switch (op) {
    case 0: case 1: case 2: case 3: {
      auto args = d.RandomArgs();
      m.AddNewNode(index, Driver::Stored(args));
      l.AddNewNode(index, args[0], args[1], args[2], args[3], args[4], args[5], args[6], args[7],
                   args[8], args[9], args[10], args[11]);
      return "AddNewNode " + std::to_string(index);
    }
    case 4:
      model_result = m.NodeCount();
      real_result = Variant::FromLong(l.NodeCount());
      return "NodeCount";
    case 5:
      if (d.Next() % 8 != 0) return "skip";
      model_result = m.EmptyList();
      real_result = B(l.EmptyList());
      return "EmptyList";
    case 6:
      model_result = m.DeleteNode(index);
      real_result = B(l.DeleteNode(index));
      return "DeleteNode " + std::to_string(index);
    case 7:
      model_result = m.DeleteCurrentNode();
      real_result = B(l.DeleteCurrentNode());
      return "DeleteCurrentNode";
    case 8: {
      Variant v = d.RandomValue();
      model_result = m.editItem(index, v, k);
      real_result = B(l.editItem(index, v, k));
      return "editItem " + std::to_string(index) + " " + std::to_string(k);
    }
    case 9: {
      Variant v = d.RandomValue();
      model_result = m.editCurrentItem(v, k);
      real_result = B(l.editCurrentItem(v, k));
      return "editCurrentItem " + std::to_string(k);
    }
    case 10:
      model_result = m.getListItem(index, k);
      real_result = l.getListItem(index, k);
      return "getListItem " + std::to_string(index) + " " + std::to_string(k);
    case 11:
      model_result = m.getListIndex(index);
      real_result = l.getListIndex(index);
      return "getListIndex " + std::to_string(index);
    case 12:
      model_result = m.getCurrentListItem(k);
      real_result = l.getCurrentListItem(k);
      return "getCurrentListItem " + std::to_string(k);
    case 13:
      model_result = m.getCurrentListIndex();
      real_result = l.getCurrentListIndex();
      return "getCurrentListIndex";
    case 14: {
      int which = static_cast<int>(d.Next() % 4);
      const char* names[] = {"MoveFirst", "MoveLast", "MoveNext", "MovePrevious"};
      bool mr = which == 0 ? m.MoveFirst() : which == 1 ? m.MoveLast() : which == 2 ? m.MoveNext() : m.MovePrevious();
      VariantBool lr = which == 0 ? l.MoveFirst() : which == 1 ? l.MoveLast() : which == 2 ? l.MoveNext() : l.MovePrevious();
      model_result = B(mr);
      real_result = B(lr);
      return names[which];
    }
    case 15:
      model_result = Variant(int{m.IsHeadNode()} * 4 + int{m.IsTailNode()} * 2 + int{m.IsListEmpty()});
      real_result = Variant(int{bool(l.IsHeadNode())} * 4 + int{bool(l.IsTailNode())} * 2 +
                            int{bool(l.IsListEmpty())});
      return "IsHeadNode/IsTailNode/IsListEmpty";
    case 16:
      if (d.Next() % 2 == 0) {
        model_result = m.UBoundNodeIndex();
        real_result = Variant::FromLong(l.UBoundNodeIndex());
        return "UBoundNodeIndex";
      }
      model_result = m.LBoundNodeIndex();
      real_result = Variant::FromLong(l.LBoundNodeIndex());
      return "LBoundNodeIndex";
    case 17:
      model_result = m.FindByIndex(index);
      real_result = B(l.FindByIndex(index));
      return "FindByIndex " + std::to_string(index);
    case 18: case 19: {
      Variant v = d.RandomValue();
      model_result = m.FindByItem(k, v);
      real_result = Variant::FromLong(l.FindByItem(k, v));
      return "FindByItem " + std::to_string(k);
    }
    case 20: case 21: {
      Variant v = d.RandomValue();
      model_result = m.FindNextByItem(k, v);
      real_result = Variant::FromLong(l.FindNextByItem(k, v));
      return "FindNextByItem " + std::to_string(k);
    }
    case 22:
      model_result = m.SwapNodeContents(index, index2);
      real_result = B(l.SwapNodeContents(index, index2));
      return "SwapNodeContents " + std::to_string(index) + " " + std::to_string(index2);
    case 23:
      model_result = m.SwapNodeContentsWithPercolate(index, index2);
      real_result = B(l.SwapNodeContentsWithPercolate(index, index2));
      return "SwapNodeContentsWithPercolate " + std::to_string(index) + " " + std::to_string(index2);
    case 24:
      model_result = m.CopyNodeContents(index, index2);
      real_result = B(l.CopyNodeContents(index, index2));
      return "CopyNodeContents " + std::to_string(index) + " " + std::to_string(index2);
    case 25: {
      bool zero = d.Next() % 2 == 0;
      model_result = m.FindNextAvailableIndexLocation(zero);
      real_result = Variant::FromLong(l.FindNextAvailableIndexLocation(zero, d.Next() % 2 == 0));
      return std::string("FindNextAvailableIndexLocation ") + (zero ? "0" : "1");
    }
    case 26: {
      auto args = d.RandomArgs();
      Long max_length = static_cast<Long>(d.Next() % 9) - 2;
      model_result = m.InsertNodeAsFixedLengthQueue(max_length, Driver::Stored(args));
      real_result = B(l.InsertNodeAsFixedLengthQueue(max_length, args[0], args[1], args[2], args[3], args[4],
                                                     args[5], args[6], args[7], args[8], args[9], args[10],
                                                     args[11]));
      return "InsertNodeAsFixedLengthQueue " + std::to_string(max_length);
    }
    case 27: case 28: {
      Long kind = static_cast<Long>(d.Next() % 9);
      Integer item = d.Next() % 5 == 0 ? k : static_cast<Integer>(1 + d.Next() % 3);
      m.StartQuickSortListBySingleItem(item, kind);
      l.StartQuickSortListBySingleItem(item, static_cast<enumVarType>(kind));
      return "StartQuickSortListBySingleItem " + std::to_string(item) + " kind " + std::to_string(kind);
    }
    case 29: {
      bool zero = d.Next() % 2 == 0;
      m.ReorderNodesSequentially(zero);
      l.ReorderNodesSequentially(zero);
      return "ReorderNodesSequentially";
    }
    case 30:
      model_result = m.putLinkedListToString();
      real_result = Variant(l.putLinkedListToString());
      return "putLinkedListToString";
    case 31: {
      String text = d.Next() % 2 == 0 ? CStr(w.models[1 - r].putLinkedListToString())
                                      : RandomText(d, {u"1", u"2", u"7", u"-3", u"x", u"~", u"~", u"|", u"a", u"007"}, 30);
      bool empty_first = d.Next() % 3 != 0;
      model_result = m.getLinkedListFromString(text, empty_first);
      real_result = B(l.getLinkedListFromString(text, empty_first));
      return "getLinkedListFromString " + ToUtf8(text);
    }
    case 32:
      model_result = m.putLinkedListToFile(w.model_file);
      real_result = B(l.putLinkedListToFile(w.path));
      return "putLinkedListToFile";
    case 33:
      model_result = m.getLinkedListFromFile(w.model_file);
      real_result = B(l.getLinkedListFromFile(w.path));
      return "getLinkedListFromFile";
    case 34: {
      String delimiter = RandomText(d, {u";", u"x", u",", u"X"}, 2);
      model_result = m.CopyLinkedListItemsToDelimiterSeparatedString(k, delimiter);
      real_result = Variant(l.CopyLinkedListItemsToDelimiterSeparatedString(k, delimiter));
      return "CopyLinkedListItemsToDelimiterSeparatedString " + std::to_string(k);
    }
    case 35: case 36: {
      String text = RandomText(d, {u"a", u"B", u"x", u"X", u",", u"xy", u"5"}, 8);
      String delimiter = RandomText(d, {u"x", u",", u"Y"}, 2);
      bool empty_first = d.Next() % 3 == 0;
      Integer item = d.Next() % 6 == 0 ? k : static_cast<Integer>(1 + d.Next() % 12);
      model_result = m.putDelimiterSeparatedStringToLinkedList(item, text, delimiter, empty_first);
      real_result = l.putDelimiterSeparatedStringToLinkedList(item, text, delimiter, empty_first);
      return "putDelimiterSeparatedStringToLinkedList " + ToUtf8(text) + " / " + ToUtf8(delimiter);
    }
    default: {
      // Source and destination: either list or (rarely) Nothing; the receiver is list r.
      auto pick = [&](int& which) {
        which = d.Next() % 10 == 0 ? -1 : static_cast<int>(d.Next() % 2);
      };
      int source = 0, dest = 0;
      pick(source);
      pick(dest);
      bool empty_first = d.Next() % 2 == 0;
      // Nodes copied between lists are kept few so that the copies do not grow without end.
      if (source >= 0 && CLng(w.models[source].NodeCount()) > 12) return "skip";
      Object src = source < 0 ? Object() : MakeObject(w.lists[source]);
      Object dst = dest < 0 ? Object() : MakeObject(w.lists[dest]);
      model_result = m.CopyEntireListToSecondList(source < 0 ? nullptr : &w.models[source],
                                                  dest < 0 ? nullptr : &w.models[dest], empty_first);
      real_result = l.CopyEntireListToSecondList(src, dst, empty_first);
      return "CopyEntireListToSecondList " + std::to_string(source) + " -> " + std::to_string(dest) +
             (empty_first ? " emptying" : "");
    }
  }
}

// The state as rows (head sentinel, real nodes, tail sentinel) plus the cursor, compared
// structurally; the text form is only built for a failure message.
struct State {
  std::vector<std::pair<Long, Items>> rows;
  std::string cursor_kind;
  Long cursor_index = 0;
  Items cursor_items;
  bool operator==(const State&) const = default;
};

template <class Node>
void Describe(State& s, const Node* cursor, const Node* head, const Node* tail) {
  if (cursor == nullptr) {
    s.cursor_kind = "unset";
    return;
  }
  s.cursor_kind = cursor == head ? "head"
                  : cursor == tail ? "tail"
                  : (cursor->previous != nullptr && cursor->next != nullptr) ? "node"
                                                                           : "off-chain";
  s.cursor_index = cursor->index;
  s.cursor_items = cursor->items;
}

State Capture(Model& m) {
  State s;
  for (const MNode* n = m.head(); n != nullptr; n = n->next) s.rows.emplace_back(n->index, n->items);
  Describe(s, m.cursor(), m.head(), m.tail());
  return s;
}

State Capture(clsOrderedLinkedList& l) {
  list::OrderedListStore& store = OrderedLinkedListPeer::Store(l);
  State s;
  s.rows.emplace_back(store.head()->index, store.head()->items);
  for (const list::ListNode* n : store.Nodes()) s.rows.emplace_back(n->index, n->items);
  s.rows.emplace_back(store.tail()->index, store.tail()->items);
  Describe(s, store.cursor(), store.head(), store.tail());
  return s;
}

std::string Text(const State& s) {
  std::ostringstream out;
  auto items = [&](const Items& row) {
    out << "[";
    for (const Variant& v : row) out << ::testing::PrintToString(v) << ",";
    out << "] ";
  };
  for (const auto& [index, row] : s.rows) {
    out << index;
    items(row);
  }
  out << "cursor: " << s.cursor_kind << " " << s.cursor_index;
  items(s.cursor_items);
  return out.str();
}

void ExpectSameState(Model& m, clsOrderedLinkedList& l, const std::string& where) {
  State expected = Capture(m);
  State actual = Capture(l);
  if (!(expected == actual)) {
    FAIL() << where << "\n model: " << Text(expected) << "\n  list: " << Text(actual);
  }
  std::string fault = OrderedLinkedListPeer::Store(l).CheckInvariants();
  if (!fault.empty()) FAIL() << where << ": " << fault;
}

TEST(OrderedLinkedListModelTest, RandomSequencesMatchTheLinearWalk) {
  for (std::uint64_t seed = 1; seed <= static_cast<std::uint64_t>(testing::Scaled(30)); ++seed) {
    World w(seed);
    for (int r = 0; r < 2; ++r) ExpectSameState(w.models[r], *w.lists[r], "seed " + std::to_string(seed) + " at creation");
    for (int step = 0; step < 1200 && !::testing::Test::HasFatalFailure(); ++step) {
      int r = static_cast<int>(w.d.Next() % 2);
      Variant model_result, real_result;
      std::string what = Step(w, r, model_result, real_result);
      std::string where = "seed " + std::to_string(seed) + " step " + std::to_string(step) + " list " +
                          std::to_string(r) + ": " + what;
      ASSERT_EQ(real_result, model_result) << where;
      ExpectSameState(w.models[0], *w.lists[0], where);
      ExpectSameState(w.models[1], *w.lists[1], where);
    }
    if (::testing::Test::HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace narwick
