// Numbers and standard descriptions of the run-time errors the library raises.
#pragma once

#include "narwick/frame/types.h"

namespace narwick {

namespace err {
inline constexpr Long kReturnWithoutGoSub = 3;
inline constexpr Long kInvalidProcedureCall = 5;
inline constexpr Long kOverflow = 6;
inline constexpr Long kOutOfMemory = 7;
inline constexpr Long kSubscriptOutOfRange = 9;
inline constexpr Long kDivisionByZero = 11;
inline constexpr Long kTypeMismatch = 13;
inline constexpr Long kOutOfStackSpace = 28;
inline constexpr Long kSubOrFunctionNotDefined = 35;
inline constexpr Long kErrorLoadingDll = 48;
inline constexpr Long kInternalError = 51;
inline constexpr Long kBadFileNameOrNumber = 52;
inline constexpr Long kFileNotFound = 53;
inline constexpr Long kBadFileMode = 54;
inline constexpr Long kFileAlreadyOpen = 55;
inline constexpr Long kDeviceIoError = 57;
inline constexpr Long kFileAlreadyExists = 58;
inline constexpr Long kBadRecordLength = 59;
inline constexpr Long kDiskFull = 61;
inline constexpr Long kInputPastEndOfFile = 62;
inline constexpr Long kBadRecordNumber = 63;
inline constexpr Long kTooManyFiles = 67;
inline constexpr Long kDeviceUnavailable = 68;
inline constexpr Long kPermissionDenied = 70;
inline constexpr Long kDiskNotReady = 71;
inline constexpr Long kCantRenameWithDifferentDrive = 74;
inline constexpr Long kPathFileAccessError = 75;
inline constexpr Long kPathNotFound = 76;
inline constexpr Long kObjectVariableNotSet = 91;
inline constexpr Long kForLoopNotInitialized = 92;
inline constexpr Long kInvalidUseOfNull = 94;
inline constexpr Long kObjectRequired = 424;
inline constexpr Long kCantCreateObject = 429;
inline constexpr Long kObjectDoesntSupportMember = 438;
inline constexpr Long kAutomationError = 440;
inline constexpr Long kArgumentNotOptional = 449;
inline constexpr Long kWrongNumberOfArguments = 450;
inline constexpr Long kPropertyLetNotDefined = 451;
inline constexpr Long kKeyAlreadyAssociated = 457;
inline constexpr Long kUnsupportedAutomationType = 458;
// vbObjectError: the base of errors a class raises on its own account.
inline constexpr Long kObjectError = -2147221504;
}  // namespace err

// The standard description of a run-time error number ("Overflow" for 6);
// "Application-defined or object-defined error" for numbers without a text of their own.
StringView StandardDescription(Long number);

}  // namespace narwick
