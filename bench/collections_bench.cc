// Collections benchmarks, one function per case, all run by main in one process:
//  - clsDictionary Add / Item / Exists of 1,000,000 keys beside std::unordered_map with the
//    same keys (strings, pseudo-random Longs, and Longs 1 to N), target within 3x; and the
//    pseudo-random Longs again with String items;
//  - the three Variant sorts of clsSortingArrays on 30,000 values, with std::sort under the
//    same Variant ordering as the yardstick for the quicksort (target within 10x).
//  - clsManageTypeCase.modifyCase over 100,000 address lines in each mode, target at least
//    1 million words per second in normal case;
//   collections_bench [--quick] [--only <case>] [--keys N]
// Times are thread CPU time, the best of a few runs, because the machine is shared.
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "narwick/collections/dictionary.h"
#include "narwick/collections/sorting_arrays.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/safe_array.h"
#include "narwick/text/manage_type_case.h"
#include "bench_timing.h"

namespace {

using narwick::Long;
using narwick::SafeArray;
using narwick::String;
using narwick::Variant;
using narwick::VbVarType;

bool g_quick = false;
std::size_t g_keys = 0;  // --keys N overrides the number of dictionary keys

// Best of `runs`, in CPU time of this thread: the machine is shared, and wall time counts
// the others' turns.
double Seconds(const std::function<void()>& fn, int runs) {
  return narwick::bench::BestSeconds(runs, fn, narwick::bench::ThreadSeconds);
}

void Report(const char* what, std::size_t n, double ours, double theirs, double target) {
  std::printf("  %-28s %8.1f ns/op   std %8.1f ns/op   ratio %5.2fx  (target %.0fx)%s\n", what,
              ours * 1e9 / static_cast<double>(n), theirs * 1e9 / static_cast<double>(n), ours / theirs, target,
              ours / theirs <= target ? "" : "  MISSED");
}

volatile long g_sink = 0;  // keeps results alive

// Items are Longs, or with kStringItems strings of 6 to 11 characters (nearly all longer than
// a string keeps inline), copied from one prepared list into both maps. Item hands back a
// copy of the item, so with string items the standard map's lookup copies its item too.
template <class StdKey, bool kStringItems = false, class MakeKey>
void DictionaryCase(const char* label, std::size_t n, MakeKey make_key, const char* note = "") {
  std::vector<Variant> string_items;
  if constexpr (kStringItems) {
    string_items.reserve(n);
    for (std::size_t i = 0; i < n; ++i) string_items.emplace_back(narwick::FromUtf8("item " + std::to_string(i)));
  }
  std::vector<Variant> keys;
  std::vector<StdKey> std_keys;
  keys.reserve(n);
  std_keys.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    StdKey k = make_key(i);
    keys.emplace_back(k);
    std_keys.push_back(std::move(k));
  }
  // Lookups go through the keys in another order than they were added, read sequentially
  // from copies, so the maps are measured rather than the key arrays.
  std::vector<std::size_t> order(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  std::vector<Variant> probe_keys;
  std::vector<StdKey> std_probe_keys;
  probe_keys.reserve(n);
  std_probe_keys.reserve(n);
  for (std::size_t i : order) {
    probe_keys.push_back(keys[i]);
    std_probe_keys.push_back(std_keys[i]);
  }
  const int runs = g_quick ? 1 : 3;

  double add = 0, item = 0, exists = 0, enumerate = 0;
  double std_add = 0, std_find = 0, std_count = 0, std_enumerate = 0;
  {
    add = 1e300;
    item = 1e300;
    exists = 1e300;
    enumerate = 1e300;
    for (int r = 0; r < runs; ++r) {
      narwick::clsDictionary dict;
      add = std::min(add, Seconds([&] {
        for (std::size_t i = 0; i < n; ++i) {
          if constexpr (kStringItems) {
            dict.Add(keys[i], string_items[i]);
          } else {
            dict.Add(keys[i], Variant(static_cast<int>(i)));
          }
        }
      }, 1));
      item = std::min(item, Seconds([&] {
        long sum = 0;
        for (const Variant& k : probe_keys) {
          if constexpr (kStringItems) {
            sum += static_cast<long>(dict.Item(k).Str().size());
          } else {
            sum += static_cast<long>(dict.Item(k).Int());
          }
        }
        g_sink = g_sink + sum;
      }, 1));
      exists = std::min(exists, Seconds([&] {
        long hits = 0;
        for (const Variant& k : probe_keys) hits += dict.Exists(k) ? 1 : 0;
        g_sink = g_sink + hits;
      }, 1));
      enumerate = std::min(enumerate, Seconds([&] {
        const Variant all = dict.items();
        g_sink = g_sink + static_cast<long>(all.Array().elements().size());
      }, 1));
      if (dict.Count() != static_cast<Long>(n)) std::printf("  wrong count!\n");
    }
  }
  {
    std_add = 1e300;
    std_find = 1e300;
    std_count = 1e300;
    std_enumerate = 1e300;
    for (int r = 0; r < runs; ++r) {
      std::unordered_map<StdKey, Variant> map;
      std_add = std::min(std_add, Seconds([&] {
        for (std::size_t i = 0; i < n; ++i) {
          if constexpr (kStringItems) {
            map.emplace(std_keys[i], string_items[i]);
          } else {
            map.emplace(std_keys[i], Variant(static_cast<int>(i)));
          }
        }
      }, 1));
      std_find = std::min(std_find, Seconds([&] {
        long sum = 0;
        for (const StdKey& k : std_probe_keys) {
          if constexpr (kStringItems) {
            sum += static_cast<long>(Variant(map.find(k)->second).Str().size());
          } else {
            sum += static_cast<long>(map.find(k)->second.Int());
          }
        }
        g_sink = g_sink + sum;
      }, 1));
      std_count = std::min(std_count, Seconds([&] {
        long hits = 0;
        for (const StdKey& k : std_probe_keys) hits += static_cast<long>(map.count(k));
        g_sink = g_sink + hits;
      }, 1));
      std_enumerate = std::min(std_enumerate, Seconds([&] {
        std::vector<Variant> all;
        all.reserve(map.size());
        for (const auto& entry : map) all.push_back(entry.second);
        g_sink = g_sink + static_cast<long>(all.size());
      }, 1));
    }
  }
  std::printf("clsDictionary, %zu %s keys%s (std::unordered_map<%s, Variant> beside it)\n", n, label, note,
              label);
  Report("Add", n, add, std_add, 3);
  Report("Item (lookup)", n, item, std_find, 3);
  Report("Exists", n, exists, std_count, 3);
  // No target: the items in order (clsDictionary) against a walk copying every item (std).
  std::printf("  %-28s %8.1f ns/op   std %8.1f ns/op   ratio %5.2fx\n", "items (all, in order)",
              enumerate * 1e9 / static_cast<double>(n), std_enumerate * 1e9 / static_cast<double>(n),
              enumerate / std_enumerate);
}

void BenchDictionaryStringKeys() {
  DictionaryCase<String>("String", g_keys ? g_keys : g_quick ? 100000 : 1000000, [](std::size_t i) {
    return narwick::FromUtf8("customer-" + std::to_string(i * 7919 % 1000003));
  });
}

void BenchDictionaryLongKeys() {
  DictionaryCase<int>("Long", g_keys ? g_keys : g_quick ? 100000 : 1000000,
                      [](std::size_t i) { return static_cast<int>(i * 2654435761u % 2147483647u); });
}

// Keys 1, 2, 3, ...: the common case of numbering rows, which a weak integer hash turns into
// long probe runs.
void BenchDictionarySequentialLongKeys() {
  DictionaryCase<int>("Long", g_keys ? g_keys : g_quick ? 100000 : 1000000,
                      [](std::size_t i) { return static_cast<int>(i + 1); }, " 1 to N");
}

// The pseudo-random Long keys with string items: Item of an item that is not a number reads
// the map's entry as well as its index.
void BenchDictionaryStringItems() {
  DictionaryCase<int, true>("Long", g_keys ? g_keys : g_quick ? 100000 : 1000000,
                            [](std::size_t i) { return static_cast<int>(i * 2654435761u % 2147483647u); },
                            " with String items");
}

// Numbers of three kinds and strings: a valid strict weak ordering under the Variant
// ordering (no Empty or Null), so std::sort is a fair yardstick.
std::vector<Variant> SortInput(std::size_t n) {
  std::mt19937 rng(42);
  std::vector<Variant> v;
  v.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const int x = std::uniform_int_distribution<int>(0, 999999)(rng);
    switch (rng() % 4) {
      case 0: v.emplace_back(x); break;
      case 1: v.emplace_back(x / 7.0); break;
      case 2: v.emplace_back(static_cast<narwick::Integer>(x % 30000)); break;
      default: v.emplace_back(narwick::FromUtf8("name " + std::to_string(x))); break;
    }
  }
  return v;
}

SafeArray ToArray(const std::vector<Variant>& v) {
  SafeArray a(VbVarType::vbVariant, 1, static_cast<Long>(v.size()));
  std::copy(v.begin(), v.end(), a.elements().begin());
  return a;
}

void BenchVariantSorts() {
  const std::size_t n = g_quick ? 5000 : 30000;
  const std::vector<Variant> input = SortInput(n);
  narwick::clsSortingArrays sorter;
  const int runs = g_quick ? 1 : 3;

  std::vector<Variant> reference = input;
  const double std_sort = Seconds([&] {
    reference = input;
    std::sort(reference.begin(), reference.end(), [](const Variant& a, const Variant& b) { return narwick::Less(a, b); });
  }, runs);

  auto time_sort = [&](const std::function<void(SafeArray&)>& sort, int sort_runs) {
    SafeArray a;
    const double t = Seconds([&] {
      a = ToArray(input);
      sort(a);
    }, sort_runs);
    // Every sort must give the same order as std::sort here (distinct kinds may tie in value,
    // so compare by the ordering, not by identity).
    bool ok = true;
    for (std::size_t i = 0; i < n; ++i) {
      if (!narwick::Equal(a.elements()[i], reference[i])) ok = false;
    }
    return std::make_pair(t, ok);
  };
  const auto quick = time_sort([&](SafeArray& a) { sorter.QuickSortVariantArray(a, 1, static_cast<Long>(n)); }, runs);
  const auto shell = time_sort([&](SafeArray& a) { sorter.ShellSortVariantArray(a); }, 1);
  const auto bubble = time_sort([&](SafeArray& a) { sorter.BubbleSortVariantArray(a); }, 1);

  std::printf("clsSortingArrays, %zu Variant values (numbers of three kinds and strings)\n", n);
  std::printf("  %-28s %10.2f ms\n", "std::sort, Variant ordering", std_sort * 1e3);
  std::printf("  %-28s %10.2f ms  ratio %6.2fx (target 10x)%s%s\n", "QuickSortVariantArray", quick.first * 1e3,
              quick.first / std_sort, quick.first / std_sort <= 10 ? "" : "  MISSED", quick.second ? "" : "  WRONG ORDER");
  std::printf("  %-28s %10.2f ms  ratio %6.2fx%s\n", "ShellSortVariantArray", shell.first * 1e3,
              shell.first / std_sort, shell.second ? "" : "  WRONG ORDER");
  std::printf("  %-28s %10.2f ms  ratio %6.2fx%s\n", "BubbleSortVariantArray", bubble.first * 1e3,
              bubble.first / std_sort, bubble.second ? "" : "  WRONG ORDER");
}

// Address lines as people type them: names with designations, civic numbers, streets with
// directions, rural routes and boxes, cities, province and state codes (before a comma, at
// the end), postal codes; in mixed case.
std::vector<String> AddressLines(std::size_t n, std::size_t& words) {
  static const char* const kFirst[] = {"john", "MARY", "Pierre", "anne-marie", "o'brien", "li", "JEAN", "robert"};
  static const char* const kLast[] = {"smith", "TREMBLAY", "McDonald", "nguyen", "de la cruz", "Gagnon", "o'neil"};
  static const char* const kTitle[] = {"cpa", "ca", "b.sc.", "p.eng", "cma", "llp", "b.a.", ""};
  static const char* const kStreet[] = {"main st", "KING STREET W", "rue saint-denis", "elm ave nw",
                                        "rr #3", "po box 12", "1st avenue ne", "chemin du lac"};
  static const char* const kCity[] = {"toronto", "MONTREAL", "new york", "los angeles", "halifax",
                                      "sault ste. marie", "boise", "regina"};
  static const char* const kCode[] = {"on", "QC", "ny", "ca", "ns", "on,", "id", "sk", "tx,", "bc"};
  static const char* const kPostal[] = {"m5v 2t6", "H2X 1Y4", "10001", "90210-1234", "b3h 4r2", "", "83702"};
  std::mt19937 rng(2026);
  auto pick = [&](auto& list) { return std::string(list[rng() % std::size(list)]); };
  std::vector<String> lines;
  lines.reserve(n);
  words = 0;
  for (std::size_t i = 0; i < n; ++i) {
    std::string line;
    switch (rng() % 3) {
      case 0: line = pick(kFirst) + " " + pick(kLast) + " " + pick(kTitle); break;
      case 1: line = std::to_string(rng() % 9999 + 1) + " " + pick(kStreet) + ", " + pick(kCity); break;
      default: line = pick(kCity) + ", " + pick(kCode) + " " + pick(kPostal); break;
    }
    for (std::size_t p = 0; p < line.size();) {
      const std::size_t q = std::min(line.find(' ', p), line.size());
      if (q > p) ++words;
      p = q + 1;
    }
    lines.push_back(narwick::FromUtf8(line));
  }
  return lines;
}

void BenchModifyCase() {
  const std::size_t n = 100000;
  std::size_t words = 0;
  const std::vector<String> lines = AddressLines(n, words);
  std::printf("clsManageTypeCase.modifyCase, %zu address lines, %zu words (all four lists on)\n", n, words);
  const int runs = g_quick ? 1 : 3;
  const struct {
    const char* name;
    narwick::enumCaseFormating mode;
    double target;
  } modes[] = {{"normal case", narwick::enumCaseFormating::enumNormalCase, 1e6},
               {"lower case", narwick::enumCaseFormating::enumLowerCase, 0},
               {"upper case", narwick::enumCaseFormating::enumUpperCase, 0}};
  for (const auto& mode : modes) {
    narwick::clsManageTypeCase formatter;
    formatter.CaseFormating(mode.mode);
    std::size_t out_chars = 0;
    const double t = Seconds([&] {
      out_chars = 0;
      for (const String& line : lines) out_chars += formatter.modifyCase(line).size();
    }, runs);
    g_sink = g_sink + static_cast<long>(out_chars);
    const double words_per_second = static_cast<double>(words) / t;
    std::printf("  %-28s %8.1f ms  %6.2f M words/s  %6.2f M lines/s%s\n", mode.name, t * 1e3,
                words_per_second / 1e6, static_cast<double>(n) / t / 1e6,
                mode.target == 0 ? "" : words_per_second >= mode.target ? "  (target 1 M words/s)"
                                                                        : "  MISSED (target 1 M words/s)");
  }
}

}  // namespace

int main(int argc, char** argv) {
  const char* only = nullptr;  // --only <substring of a case name>
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) g_quick = true;
    if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) only = argv[++i];
    if (std::strcmp(argv[i], "--keys") == 0 && i + 1 < argc) g_keys = std::stoul(argv[++i]);
  }
  const std::pair<const char*, void (*)()> cases[] = {
      {"dictionary-strings", BenchDictionaryStringKeys},
      {"dictionary-longs", BenchDictionaryLongKeys},
      {"dictionary-sequential-longs", BenchDictionarySequentialLongKeys},
      {"dictionary-string-items", BenchDictionaryStringItems},
      {"variant-sorts", BenchVariantSorts},
      {"modify-case", BenchModifyCase},
  };
  for (const auto& [name, run] : cases) {
    if (only == nullptr || std::strstr(name, only) != nullptr) run();
  }
  return 0;
}
