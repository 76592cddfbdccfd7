// A progress bar on standard error, drawn only when it is a terminal and not silenced.
#pragma once

#include <string>

namespace narwick::cli {

class ProgressBar {
 public:
  ProgressBar(std::string label, bool quiet);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  bool enabled() const { return enabled_; }
  void Update(double percent);  // 0..100; redraws only when the shown value changes
  void Finish();                // ends the bar's line

 private:
  std::string label_;
  bool enabled_;
  int shown_ = -1;
  bool finished_ = false;
};

}  // namespace narwick::cli
