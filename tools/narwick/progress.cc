#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace narwick::cli {

ProgressBar::ProgressBar(std::string label, bool quiet)
    : label_(std::move(label)), enabled_(!quiet && isatty(STDERR_FILENO) == 1) {}

ProgressBar::~ProgressBar() { Finish(); }

void ProgressBar::Update(double percent) {
  if (!enabled_ || finished_) return;
  int tenths = static_cast<int>(std::clamp(percent, 0.0, 100.0) * 10);
  if (tenths == shown_) return;
  shown_ = tenths;
  constexpr int kWidth = 40;
  int filled = tenths * kWidth / 1000;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.resize(kWidth, '.');
  std::fprintf(stderr, "\r%s [%s] %5.1f%%", label_.c_str(), bar.c_str(), tenths / 10.0);
  std::fflush(stderr);
}

void ProgressBar::Finish() {
  if (!enabled_ || finished_ || shown_ < 0) return;
  finished_ = true;
  std::fputc('\n', stderr);
}

}  // namespace narwick::cli
