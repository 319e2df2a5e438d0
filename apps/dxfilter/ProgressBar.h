// ProgressBar.h - draws the kit's progress counters on standard error while long
// work runs, when standard error is a terminal; otherwise stays silent.
#pragma once

#include <atomic>
#include <thread>

class ProgressBar {
 public:
  ProgressBar();   // starts drawing after a short delay, so quick work shows nothing
  ~ProgressBar();  // stops and clears the line

 private:
  void Run();
  std::atomic<bool> _stop{false};
  std::thread _thread;
  bool _enabled;
};
