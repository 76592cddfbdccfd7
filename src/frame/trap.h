// The three ways a class handles run-time errors, as helpers applied in class shells:
//   Leave  - a failure abandons the body; the member returns its failure value
//   Skip   - ("ignore all") a failing statement is skipped and execution goes on
//   not trapped - nothing to apply: RuntimeError simply propagates to the caller
// Out-of-memory inside a body counts as run-time error 7, as it does for the host.
#pragma once

#include <new>
#include <utility>

#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"

namespace narwick::trap {

// Runs `body`; on a run-time error calls `on_error(error)` and returns `failure`.
template <class R, class Body, class OnError>
R Leave(R failure, Body&& body, OnError&& on_error) {
  try {
    return std::forward<Body>(body)();
  } catch (const RuntimeError& error) {
    std::forward<OnError>(on_error)(error);
  } catch (const std::bad_alloc&) {
    std::forward<OnError>(on_error)(
        RuntimeError(err::kOutOfMemory, String(kDefaultErrorSource), String(StandardDescription(err::kOutOfMemory))));
  }
  return failure;
}

// Runs `body`; on a run-time error returns `failure` with no report.
template <class R, class Body>
R Leave(R failure, Body&& body) {
  return Leave(std::move(failure), std::forward<Body>(body), [](const RuntimeError&) {});
}

// For members without a result: a failure abandons the body, with no report.
template <class Body>
void LeaveOnError(Body&& body) {
  Leave(true, [&] {
    std::forward<Body>(body)();
    return true;
  });
}

// For members whose result is assigned as the body goes: the body writes `result`, and a
// failure returns it as it stands at that moment.
template <class R, class Body>
R LeaveWithCurrent(R& result, Body&& body) {
  try {
    std::forward<Body>(body)();
  } catch (const RuntimeError&) {
  } catch (const std::bad_alloc&) {
  }
  return result;
}

// One statement of an "ignore all" member: a failure is swallowed and execution goes on.
template <class Body>
void Skip(Body&& body) {
  try {
    std::forward<Body>(body)();
  } catch (const RuntimeError&) {
  } catch (const std::bad_alloc&) {
  }
}

// The statements of an "ignore all" member, run in order through one runner: each failing
// statement is skipped, and failed() answers the member's closing check for an error.
class IgnoreAll {
 public:
  template <class Statement>
  void operator()(Statement&& statement) {
    bool completed = false;
    Skip([&] {
      std::forward<Statement>(statement)();
      completed = true;
    });
    failed_ = failed_ || !completed;
  }
  bool failed() const { return failed_; }

 private:
  bool failed_ = false;
};

}  // namespace narwick::trap
