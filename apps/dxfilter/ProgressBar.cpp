// ProgressBar.cpp - a small terminal progress bar over QORProgress.
#include "ProgressBar.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "ObjectModelRuntime/QORProgress.h"

ProgressBar::ProgressBar() : _enabled(isatty(STDERR_FILENO) == 1) {
  if (_enabled) _thread = std::thread(&ProgressBar::Run, this);
}

ProgressBar::~ProgressBar() {
  _stop.store(true);
  if (_thread.joinable()) _thread.join();
}

void ProgressBar::Run() {
  using namespace std::chrono;
  const auto start = steady_clock::now();
  bool drawn = false;
  while (!_stop.load()) {
    std::this_thread::sleep_for(milliseconds(100));
    const double elapsed = duration<double>(steady_clock::now() - start).count();
    if (elapsed < 0.8) continue;
    QORProgress::Snapshot s = QORProgress::Read();
    if (s.phase.empty()) continue;
    const int width = 30;
    double fraction = s.total ? static_cast<double>(s.done) / static_cast<double>(s.total) : 0.0;
    if (fraction > 1.0) fraction = 1.0;
    const int filled = static_cast<int>(fraction * width);
    std::fprintf(stderr, "\r%-22.22s [%.*s%*s] %3d%%  %5.1fs", s.phase.c_str(), filled,
                 "##############################", width - filled, "",
                 static_cast<int>(fraction * 100), elapsed);
    std::fflush(stderr);
    drawn = true;
  }
  if (drawn) std::fprintf(stderr, "\r\033[K");
}
