// The case formatter's core.
//
// Restoring abbreviations is the hot part: up to 138 entries, each looked for four ways in
// the whole text. Matching ignores case by comparing upper-cased text, and every write puts
// back characters that upper-case to what was there, so the upper-cased text never changes
// while the lists run. The matcher therefore upper-cases the text once, indexes its blanks
// by the letter that follows them (every entry starts with a blank and a letter), and lets
// each entry visit only the blanks where it can start. The writes still happen entry by
// entry, in list order, so later entries overwrite earlier ones exactly as applying the
// entries one at a time to the whole text would.
#include "case_formatter.h"

#include <array>
#include <vector>

#include "abbreviation_tables.h"
#include "frame/case_mapping.h"
#include "narwick/frame/convert.h"

namespace narwick::text {

namespace {

String UpperCopy(StringView s) {
  String upper(s);
  for (char16_t& c : upper) c = frame::UpperUnit(c);
  return upper;
}

// An entry with the forms each matching step needs, upper-cased once.
struct PreparedEntry {
  StringView exact;        // the entry as written back
  String upper;            // the entry upper-cased, for matching
  std::size_t lead_begin;  // first non-blank: exact.substr(lead_begin) is the start-of-text form
  std::size_t trail_end;   // after the last non-blank: exact.substr(0, trail_end) is the end form
  bool indexed;            // starts with a blank and a letter A-Z: found through the blank index
};

std::vector<PreparedEntry> Prepare(std::span<const StringView> list) {
  std::vector<PreparedEntry> prepared;
  prepared.reserve(list.size());
  for (StringView exact : list) {
    PreparedEntry e{exact, UpperCopy(exact), 0, exact.size(), false};
    while (e.lead_begin < exact.size() && exact[e.lead_begin] == u' ') ++e.lead_begin;
    while (e.trail_end > 0 && exact[e.trail_end - 1] == u' ') --e.trail_end;
    e.indexed = e.upper.size() >= 2 && e.upper[0] == u' ' && e.upper[1] >= u'A' && e.upper[1] <= u'Z';
    prepared.push_back(std::move(e));
  }
  return prepared;
}

const std::vector<PreparedEntry>& Misc() {
  static const std::vector<PreparedEntry> list = Prepare(MiscAbbreviations());
  return list;
}
const std::vector<PreparedEntry>& Address() {
  static const std::vector<PreparedEntry> list = Prepare(AddressAbbreviations());
  return list;
}
const std::vector<PreparedEntry>& Canadian() {
  static const std::vector<PreparedEntry> list = Prepare(CanadianProvinceAbbreviations());
  return list;
}
const std::vector<PreparedEntry>& UnitedStates() {
  static const std::vector<PreparedEntry> list = Prepare(USStateAbbreviations());
  return list;
}

// Applies prepared entries to one text. See the file comment for why the upper-cased copy
// and the blank index stay valid across all entries.
class Matcher {
 public:
  explicit Matcher(String& text) : text_(text), upper_(UpperCopy(text)) { IndexBlanks(); }

  void Apply(const PreparedEntry& e) {
    const std::size_t n = upper_.size();
    const StringView upper_entry = e.upper;
    // Whole text: equal to the entry without its surrounding blanks.
    const StringView trimmed = upper_entry.substr(e.lead_begin, e.trail_end - e.lead_begin);
    if (StringView(upper_) == trimmed) text_ = upper_;
    // Start of text: the entry without its leading blanks. (Each test looks at one character
    // before comparing the rest: most entries fail there.)
    const StringView lead = upper_entry.substr(e.lead_begin);
    if (n >= lead.size() && !lead.empty() && upper_[0] == lead[0] &&
        StringView(upper_).substr(0, lead.size()) == lead) {
      Write(0, e.exact.substr(e.lead_begin));
    }
    // End of text: the entry without its trailing blanks.
    const StringView trail = upper_entry.substr(0, e.trail_end);
    if (n >= trail.size() && !trail.empty() && upper_[n - 1] == trail.back() &&
        StringView(upper_).substr(n - trail.size()) == trail) {
      Write(n - trail.size(), e.exact.substr(0, e.trail_end));
    }
    // Everywhere, left to right; the search resumes after each replaced occurrence, so
    // overlapping occurrences after the first are skipped.
    if (upper_entry.empty()) return;
    if (e.indexed) {
      const auto bucket = static_cast<std::size_t>(upper_entry[1] - u'A');
      std::size_t resume = 0;
      for (std::uint32_t i = bucket_start_[bucket]; i < bucket_start_[bucket + 1]; ++i) {
        const std::size_t p = blanks_[i];
        if (p < resume || n - p < upper_entry.size()) continue;
        if (StringView(upper_).substr(p, upper_entry.size()) == upper_entry) {
          Write(p, e.exact);
          resume = p + upper_entry.size();
        }
      }
    } else {
      for (std::size_t p = upper_.find(upper_entry); p != String::npos;
           p = upper_.find(upper_entry, p + upper_entry.size())) {
        Write(p, e.exact);
      }
    }
  }

 private:
  void Write(std::size_t at, StringView exact) { text_.replace(at, exact.size(), exact); }

  // Positions of blanks followed by a letter A-Z, grouped by that letter (counting sort),
  // ascending within each group.
  void IndexBlanks() {
    bucket_start_.fill(0);
    const std::size_t n = upper_.size();
    for (std::size_t p = 0; p + 1 < n; ++p) {
      if (upper_[p] == u' ' && upper_[p + 1] >= u'A' && upper_[p + 1] <= u'Z') {
        ++bucket_start_[static_cast<std::size_t>(upper_[p + 1] - u'A') + 1];
      }
    }
    for (std::size_t b = 1; b < bucket_start_.size(); ++b) bucket_start_[b] += bucket_start_[b - 1];
    blanks_.resize(bucket_start_.back());
    std::array<std::uint32_t, 26> fill{};
    for (std::size_t p = 0; p + 1 < n; ++p) {
      if (upper_[p] == u' ' && upper_[p + 1] >= u'A' && upper_[p + 1] <= u'Z') {
        const auto b = static_cast<std::size_t>(upper_[p + 1] - u'A');
        blanks_[bucket_start_[b] + fill[b]++] = static_cast<std::uint32_t>(p);
      }
    }
  }

  String& text_;
  const String upper_;
  std::array<std::uint32_t, 27> bucket_start_{};
  std::vector<std::uint32_t> blanks_;
};

void ApplyList(Matcher& matcher, const std::vector<PreparedEntry>& list) {
  for (const PreparedEntry& e : list) matcher.Apply(e);
}

bool IsExcludedWord(StringView core) {
  static constexpr StringView kExcluded[] = {u"CA", u"CGA", u"CMA", u"LLP"};
  for (StringView word : kExcluded) {
    if (core.size() != word.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < core.size() && same; ++i) same = frame::UpperUnit(core[i]) == word[i];
    if (same) return true;
  }
  return false;
}

// Normal case for one word, in place: [begin, end) of `text`.
void FormatWord(String& text, std::size_t begin, std::size_t end) {
  const WordParts parts = SplitWordPunctuation(StringView(text).substr(begin, end - begin));
  const StringView core = parts.core;
  if (core.empty() || core.size() == 2) return;
  for (char16_t c : core) {
    if (!IsLetter(c)) return;  // inner punctuation: the word stays as typed
  }
  if (IsExcludedWord(core)) return;
  // The rule also keeps numeric cores as typed, but a core starts with a letter A-Z / a-z and
  // no text that the numeric test accepts does (it starts with blanks, a sign, '$', '(', '&',
  // a digit or '.'), so that test can never decide here and is not run for every word. The
  // tests pin this against the frame's IsNumeric.
  const std::size_t first = begin + parts.leading.size();
  text[first] = frame::UpperUnit(text[first]);
  for (std::size_t i = first + 1; i < first + core.size(); ++i) text[i] = frame::LowerUnit(text[i]);
}

}  // namespace

WordParts SplitWordPunctuation(StringView word) {
  std::size_t first = 0;
  while (first < word.size() && !IsLetter(word[first])) ++first;
  if (first == word.size()) return {word, {}, {}};
  std::size_t last = word.size();
  while (!IsLetter(word[last - 1])) --last;  // stops at the letter found above at the latest
  return {word.substr(0, first), word.substr(first, last - first), word.substr(last)};
}

void ApplyAbbreviation(StringView entry, String& text) {
  const StringView one[] = {entry};
  const std::vector<PreparedEntry> prepared = Prepare(one);
  Matcher matcher(text);
  matcher.Apply(prepared.front());
}

void ApplyAbbreviationLists(String& text, const AbbreviationFlags& flags) {
  if (!(flags.misc || flags.address || flags.canadian || flags.us)) return;
  Matcher matcher(text);
  // One two-way choice: the address list stands in for the misc list, never beside it.
  if (flags.misc) {
    ApplyList(matcher, Misc());
  } else if (flags.address) {
    ApplyList(matcher, Address());
  }
  if (flags.canadian) ApplyList(matcher, Canadian());
  if (flags.us) ApplyList(matcher, UnitedStates());
}

String ModifyCase(StringView text, std::int32_t case_formating, const AbbreviationFlags& flags) {
  if (text.empty()) return String(text);
  if (case_formating == kUpperCase) return UCase(text);
  if (case_formating == kLowerCase) {
    String lower = LCase(text);
    ApplyAbbreviationLists(lower, flags);
    return lower;
  }
  // Normal case. Words are the pieces between single blanks (two blanks make an empty word);
  // each word keeps its length, and joining puts one blank after every word, the last one
  // included, so the result is the text re-cased plus one blank.
  String out;
  out.reserve(text.size() + 1);
  out.assign(text);
  out.push_back(u' ');
  std::size_t begin = 0;
  while (begin < out.size()) {
    const std::size_t end = out.find(u' ', begin);  // the appended blank ends the last word
    FormatWord(out, begin, end);
    begin = end + 1;
  }
  ApplyAbbreviationLists(out, flags);
  return out;
}

}  // namespace narwick::text
