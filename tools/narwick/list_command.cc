// narwick list: shows and converts ordered-list files. A list file is either the 196-byte
// record file of putLinkedListToFile or a list text of putLinkedListToString ("|" between
// records, "~" between fields) kept in a text file; the kind is detected from the content.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "command.h"
#include "list/list_file_format.h"
#include "list/list_record.h"
#include "narwick/frame/codepage.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/error.h"
#include "narwick/frame/variant.h"
#include "narwick/list/ordered_linked_list.h"
#include "output_beside.h"
#include "read_input.h"

namespace narwick::cli::list_command {
namespace {

namespace format = list::format;

using Bytes = std::vector<std::uint8_t>;

struct Row {
  Long index = 0;
  list::Items items;
};

enum class FileKind { kRecords, kText };

struct ListFile {
  FileKind kind = FileKind::kRecords;
  std::vector<Row> rows;
  String text;                 // the list text, for a text file
  std::size_t tail_bytes = 0;  // an incomplete last record of a record file
};

bool IsUtf8(const Bytes& bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const std::uint8_t b = bytes[i];
    const std::size_t extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : 4;
    if (extra == 4 || i + extra >= bytes.size()) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80) return false;
    }
    i += extra + 1;
  }
  return true;
}

const char* KindName(VbVarType kind) {
  switch (kind) {
    case VbVarType::vbEmpty: return "Empty";
    case VbVarType::vbNull: return "Null";
    case VbVarType::vbInteger: return "Integer";
    case VbVarType::vbLong: return "Long";
    case VbVarType::vbSingle: return "Single";
    case VbVarType::vbDouble: return "Double";
    case VbVarType::vbCurrency: return "Currency";
    case VbVarType::vbDate: return "Date";
    case VbVarType::vbString: return "String";
    case VbVarType::vbError: return "Error";
    case VbVarType::vbBoolean: return "Boolean";
    case VbVarType::vbByte: return "Byte";
    default: return "?";
  }
}

// Why a record does not decode, item by item, for a message that points at the fault.
std::string RecordFault(const std::uint8_t* record) {
  std::size_t pos = format::kIndexSize;
  for (int item = 1; item <= list::kItemCount; ++item) {
    if (pos + format::kTypeCodeSize > format::kRecordSize) {
      return "item " + std::to_string(item) + " starts past the end of the record";
    }
    unsigned code = record[pos] | (record[pos + 1] << 8);
    pos += format::kTypeCodeSize;
    std::size_t payload = format::FixedPayloadSize(static_cast<std::uint16_t>(code));
    bool known = code == format::kEmpty || code == format::kNull || payload > 0 || code == format::kString;
    if (!known) return "item " + std::to_string(item) + " has the unknown type code " + std::to_string(code);
    if (code == format::kString) {
      if (pos + format::kStringLengthSize > format::kRecordSize) {
        return "item " + std::to_string(item) + ": text length past the end of the record";
      }
      payload = format::kStringLengthSize + (record[pos] | (record[pos + 1] << 8));
    }
    if (pos + payload > format::kRecordSize) {
      return "item " + std::to_string(item) + " runs past the end of the record";
    }
    pos += payload;
  }
  return "cannot be decoded";
}

// Decodes every whole record; nullopt-like false when one fails, with `fault` set.
bool DecodeRecords(const Bytes& bytes, std::vector<Row>& rows, std::string& fault) {
  const std::size_t count = bytes.size() / format::kRecordSize;
  for (std::size_t n = 0; n < count; ++n) {
    const std::uint8_t* record = bytes.data() + n * format::kRecordSize;
    Row row;
    if (!list::DecodeRecord(list::ConstRecordBytes(record, format::kRecordSize), row.index, row.items)) {
      fault = "record " + std::to_string(n + 1) + " (byte " + std::to_string(n * format::kRecordSize) +
              "): " + RecordFault(record);
      return false;
    }
    rows.push_back(std::move(row));
  }
  return true;
}

// Splits a list text as the list's loader does; `fault` names the first record it refuses.
bool ParseText(const String& text, std::vector<Row>& rows, std::string& fault) {
  std::size_t start = 0;
  for (std::size_t number = 1;; ++number) {
    std::size_t end = text.find(format::kRecordSeparator, start);
    if (end == String::npos) end = text.size();
    const String record = text.substr(start, end - start);
    if (record.find(format::kFieldSeparator) != String::npos) {
      std::vector<String> fields;
      std::size_t field_start = 0;
      for (;;) {
        std::size_t field_end = record.find(format::kFieldSeparator, field_start);
        fields.push_back(record.substr(field_start, field_end == String::npos ? String::npos : field_end - field_start));
        if (field_end == String::npos) break;
        field_start = field_end + 1;
      }
      if (fields.size() < static_cast<std::size_t>(format::kTextFieldCount)) {
        fault = "record " + std::to_string(number) + " has " + std::to_string(fields.size()) +
                " fields; a record needs the index and twelve items";
        return false;
      }
      Row row;
      try {
        row.index = CLng(Variant(fields[0]));
      } catch (const RuntimeError&) {
        fault = "record " + std::to_string(number) + ": the index '" + ToUtf8(fields[0]) + "' is not a Long";
        return false;
      }
      for (int k = 0; k < list::kItemCount; ++k) row.items[static_cast<std::size_t>(k)] = Variant(fields[static_cast<std::size_t>(k + 1)]);
      rows.push_back(std::move(row));
    }
    if (end == text.size()) break;
    start = end + 1;
  }
  return true;
}

// Record file when every whole record decodes and there is at least one (or the file is
// empty); otherwise a list text when the content reads as one; otherwise a clear failure.
ListFile ReadListFile(const std::string& path) {
  const Bytes bytes = ReadInputFile(path, "a list file");
  ListFile file;
  std::string record_fault;
  if (bytes.empty() ||
      (bytes.size() >= format::kRecordSize && DecodeRecords(bytes, file.rows, record_fault))) {
    file.kind = FileKind::kRecords;
    file.tail_bytes = bytes.size() % format::kRecordSize;
    return file;
  }
  file.rows.clear();
  const bool binary = std::find(bytes.begin(), bytes.end(), std::uint8_t{0}) != bytes.end();
  if (!binary) {
    String text = IsUtf8(bytes) ? FromUtf8(std::string(bytes.begin(), bytes.end())) : FromAnsi(bytes);
    if (!text.empty() && text.back() == u'\n') text.pop_back();  // the file's last line end
    if (!text.empty() && text.back() == u'\r') text.pop_back();
    if (text.find(format::kFieldSeparator) != String::npos) {
      std::string text_fault;
      if (!ParseText(text, file.rows, text_fault)) throw Failure(path + ": bad list text: " + text_fault);
      file.kind = FileKind::kText;
      file.text = std::move(text);
      return file;
    }
  }
  if (!record_fault.empty()) throw Failure(path + ": bad list record file: " + record_fault);
  throw Failure(path + ": neither a list record file (196-byte records) nor a list text (\"|\" and \"~\")");
}

void Warn(const std::string& path, const ListFile& file) {
  if (file.tail_bytes != 0) {
    std::fprintf(stderr, "narwick: %s: the last %zu bytes are an incomplete record and are ignored\n",
                 path.c_str(), file.tail_bytes);
  }
}

// The rows in a list, as the list's own loaders would merge them.
std::shared_ptr<clsOrderedLinkedList> ToList(const std::string& path, const ListFile& file) {
  auto list = std::make_shared<clsOrderedLinkedList>();
  if (file.kind == FileKind::kRecords) {
    if (!list->getLinkedListFromFile(FromUtf8(path))) throw Failure(path + ": the list could not be loaded");
  } else {
    // The list refuses a text without "|" (a single record); an empty record after it is
    // skipped, so the tool accepts one-record texts too.
    String text = file.text;
    if (text.find(format::kRecordSeparator) == String::npos) text.push_back(format::kRecordSeparator);
    if (!list->getLinkedListFromString(text)) throw Failure(path + ": the list text could not be loaded");
  }
  return list;
}

// The list text of `nodes` with its line end. The list gives the empty text when an item has no
// text form (a Date beyond the calendar) and then leaves its cursor on that node; an empty
// text is a failure only for a list that holds nodes, since every record has its index.
std::string ListText(const std::string& path, clsOrderedLinkedList& nodes) {
  String text = nodes.putLinkedListToString();
  if (text.empty() && nodes.NodeCount() > 0) {
    throw Failure(path + ": node " + std::to_string(CLng(nodes.getCurrentListIndex())) +
                  " holds a value that has no text form (a Date outside the years 100 to 9999)");
  }
  return ToUtf8(text) + "\n";
}

// Whether node `index` of `nodes` fits in one 196-byte record.
bool RecordFits(clsOrderedLinkedList& nodes, Long index) {
  list::Items items;
  for (Integer k = 1; k <= list::kItemCount; ++k) items[static_cast<std::size_t>(k - 1)] = nodes.getListItem(index, k);
  std::array<std::uint8_t, format::kRecordSize> record;
  return list::EncodeRecord(index, items, record) != list::EncodeStatus::kTooLong;
}

std::string ValueText(const Variant& v) {
  if (v.IsEmpty() || v.IsNull()) return "";
  try {
    return ToUtf8(CStr(v));
  } catch (const RuntimeError&) {
    return "?";
  }
}

std::string CsvField(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string JsonValue(const Variant& v) {
  switch (v.VarType()) {
    case VbVarType::vbEmpty: case VbVarType::vbNull: return "null";
    case VbVarType::vbBoolean: return v.Int() != 0 ? "true" : "false";
    case VbVarType::vbInteger: case VbVarType::vbLong: case VbVarType::vbByte: case VbVarType::vbError:
      return std::to_string(v.Int());
    case VbVarType::vbSingle: case VbVarType::vbDouble:
      return std::isfinite(v.Real()) ? ValueText(v) : JsonString(ValueText(v));
    default: return JsonString(ValueText(v));  // String, Currency (exact text), Date (general date)
  }
}

void Print(const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) throw Failure("cannot write standard output");
}

void Show(const std::string& path, const std::string& form) {
  const ListFile file = ReadListFile(path);
  Warn(path, file);
  std::string out;
  if (form == "text") {
    out = ListText(path, *ToList(path, file));
  } else if (form == "csv") {
    out = "index";
    for (int k = 1; k <= list::kItemCount; ++k) {
      out += ",item" + std::to_string(k) + "_kind,item" + std::to_string(k);
    }
    out += "\r\n";
    for (const Row& row : file.rows) {
      out += std::to_string(row.index);
      for (const Variant& v : row.items) out += "," + std::string(KindName(v.VarType())) + "," + CsvField(ValueText(v));
      out += "\r\n";
    }
  } else if (form == "json") {
    out = "[";
    for (std::size_t r = 0; r < file.rows.size(); ++r) {
      const Row& row = file.rows[r];
      out += r == 0 ? "\n" : ",\n";
      out += "  {\"index\": " + std::to_string(row.index) + ", \"items\": [";
      for (std::size_t k = 0; k < row.items.size(); ++k) {
        const Variant& v = row.items[k];
        out += (k == 0 ? "" : ", ") + std::string("{\"kind\": \"") + KindName(v.VarType()) + "\", \"value\": " + JsonValue(v) + "}";
      }
      out += "]}";
    }
    out += file.rows.empty() ? "]\n" : "\n]\n";
  } else {
    out = std::string(file.kind == FileKind::kRecords ? "record file" : "list text") + ", " +
          std::to_string(file.rows.size()) + " record" + (file.rows.size() == 1 ? "" : "s") + "\n";
    char line[64];
    std::snprintf(line, sizeof line, "%11s  %4s  %-8s  %s\n", "index", "item", "kind", "value");
    out += line;
    for (const Row& row : file.rows) {
      for (std::size_t k = 0; k < row.items.size(); ++k) {
        const Variant& v = row.items[k];
        std::snprintf(line, sizeof line, "%11d  %4zu  %-8s  ", row.index, k + 1, KindName(v.VarType()));
        out += line;
        std::string value = ValueText(v);
        out += v.IsString() ? "\"" + value + "\"" : value;
        out += "\n";
      }
    }
  }
  Print(out);
}

void Convert(const std::string& in, const std::string& out) {
  const ListFile file = ReadListFile(in);
  Warn(in, file);
  auto list = ToList(in, file);
  if (file.kind == FileKind::kRecords) {
    WriteFileBeside(out, ListText(in, *list));
    std::fprintf(stderr, "narwick: %s: record file -> list text, %d node(s)\n", out.c_str(), list->NodeCount());
    return;
  }
  if (!list->putLinkedListToFile(FromUtf8(out))) {
    // The writer stops on the node it cannot encode, but after a failure to open or replace
    // the file the cursor may rest on any node: name it only when it really does not fit.
    const Long failed = CLng(list->getCurrentListIndex());
    if (failed >= 0 && !RecordFits(*list, failed)) {
      throw Failure(out + ": node " + std::to_string(failed) +
                    " does not fit in a 196-byte record (twelve texts hold 144 characters in all)");
    }
    throw Failure(out + ": cannot write the file");
  }
  std::fprintf(stderr, "narwick: %s: list text -> record file, %d node(s)\n", out.c_str(), list->NodeCount());
}

void Setup(CLI::App& app, int& exit_code) {
  auto* cmd = app.add_subcommand(
      "list",
      "Show or convert ordered-list files: the 196-byte record file and the \"|\" / \"~\" list\n"
      "text. The kind of an input file is detected from its content.");
  cmd->require_subcommand(1);

  auto show_path = std::make_shared<std::string>();
  auto show_format = std::make_shared<std::string>("table");
  auto* show = cmd->add_subcommand("show", "Print a list file: index, item number, kind and value of every item");
  show->add_option("FILE", *show_path, "record file or list text; - for standard input")->required();
  show->add_option("--format", *show_format,
                   "table (default, for people), text (the list text), csv or json (for machines)")
      ->check(CLI::IsMember({"table", "text", "csv", "json"}));
  show->callback([show_path, show_format, &exit_code] {
    Show(*show_path, *show_format);
    exit_code = kExitSuccess;
  });

  auto in_path = std::make_shared<std::string>();
  auto out_path = std::make_shared<std::string>();
  auto* convert = cmd->add_subcommand(
      "convert",
      "Convert a record file to a list text (UTF-8), or a list text to a record file. OUT is\n"
      "replaced only when the whole conversion succeeded.");
  convert->add_option("IN", *in_path, "record file or list text; - for standard input")->required();
  convert->add_option("OUT", *out_path, "the file to write")->required();
  convert->callback([in_path, out_path, &exit_code] {
    Convert(*in_path, *out_path);
    exit_code = kExitSuccess;
  });
}

}  // namespace
}  // namespace narwick::cli::list_command

NARWICK_COMMAND(list, narwick::cli::list_command::Setup);
