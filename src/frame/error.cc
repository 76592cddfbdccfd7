// Run-time errors and their standard descriptions (the VB runtime's texts).
#include "narwick/frame/error.h"

#include <algorithm>
#include <array>
#include <utility>

#include "narwick/frame/error_numbers.h"
#include "narwick/frame/variant.h"

namespace narwick {

namespace {

struct Description {
  Long number;
  StringView text;
};

constexpr std::array kDescriptions{
    Description{3, u"Return without GoSub"},
    Description{5, u"Invalid procedure call or argument"},
    Description{6, u"Overflow"},
    Description{7, u"Out of memory"},
    Description{9, u"Subscript out of range"},
    Description{11, u"Division by zero"},
    Description{13, u"Type mismatch"},
    Description{28, u"Out of stack space"},
    Description{35, u"Sub or Function not defined"},
    Description{48, u"Error in loading DLL"},
    Description{51, u"Internal error"},
    Description{52, u"Bad file name or number"},
    Description{53, u"File not found"},
    Description{54, u"Bad file mode"},
    Description{55, u"File already open"},
    Description{57, u"Device I/O error"},
    Description{58, u"File already exists"},
    Description{59, u"Bad record length"},
    Description{61, u"Disk full"},
    Description{62, u"Input past end of file"},
    Description{63, u"Bad record number"},
    Description{67, u"Too many files"},
    Description{68, u"Device unavailable"},
    Description{70, u"Permission denied"},
    Description{71, u"Disk not ready"},
    Description{74, u"Can't rename with different drive"},
    Description{75, u"Path/File access error"},
    Description{76, u"Path not found"},
    Description{91, u"Object variable or With block variable not set"},
    Description{92, u"For loop not initialized"},
    Description{94, u"Invalid use of Null"},
    Description{424, u"Object required"},
    Description{429, u"ActiveX component can't create object"},
    Description{438, u"Object doesn't support this property or method"},
    Description{440, u"Automation error"},
    Description{449, u"Argument not optional"},
    Description{450, u"Wrong number of arguments or invalid property assignment"},
    Description{451, u"Property let procedure not defined and property get procedure did not return an object"},
    Description{457, u"This key is already associated with an element of this collection"},
    Description{458, u"Variable uses an Automation type not supported in Visual Basic"},
};

}  // namespace

StringView StandardDescription(Long number) {
  auto it = std::find_if(kDescriptions.begin(), kDescriptions.end(),
                         [number](const Description& d) { return d.number == number; });
  return it != kDescriptions.end() ? it->text : u"Application-defined or object-defined error";
}

RuntimeError::RuntimeError(Long number, String source, String description)
    : number_(number), source_(std::move(source)), description_(std::move(description)) {
  what_ = ToUtf8(description_) + " (" + std::to_string(number_) + ")";
}

void Raise(Long number, StringView source) {
  throw RuntimeError(number, String(source), String(StandardDescription(number)));
}

void Raise(Long number, StringView source, StringView description) {
  throw RuntimeError(number, String(source), String(description));
}

}  // namespace narwick
