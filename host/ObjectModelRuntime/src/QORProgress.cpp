// QORProgress.cpp - process-wide progress counters.
#include "ObjectModelRuntime/QORProgress.h"

#include <atomic>
#include <mutex>

namespace {
std::mutex g_phaseMutex;
std::string g_phase;
std::atomic<uint64_t> g_done{0};
std::atomic<uint64_t> g_total{0};
}  // namespace

void QORProgress::Begin(const char* phase, uint64_t total) {
  std::lock_guard<std::mutex> lock(g_phaseMutex);
  g_phase = phase ? phase : "";
  g_done.store(0, std::memory_order_relaxed);
  g_total.store(total, std::memory_order_relaxed);
}

void QORProgress::Advance(uint64_t amount) {
  g_done.fetch_add(amount, std::memory_order_relaxed);
}

void QORProgress::End() {
  std::lock_guard<std::mutex> lock(g_phaseMutex);
  g_phase.clear();
}

QORProgress::Snapshot QORProgress::Read() {
  Snapshot s;
  {
    std::lock_guard<std::mutex> lock(g_phaseMutex);
    s.phase = g_phase;
  }
  s.done = g_done.load(std::memory_order_relaxed);
  s.total = g_total.load(std::memory_order_relaxed);
  return s;
}
