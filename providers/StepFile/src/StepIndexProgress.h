// StepIndexProgress.h - tells whoever opened a file how far its indexing has come.
#pragma once

#include <cstdint>
#include <functional>

namespace step {

// Indexing a large file takes seconds; the format models above the reader open it deep
// inside, so the provider that shows progress sets a reporter around the whole opening
// instead of passing it down. While an object lives, StepFile::Open on the same thread calls
// its reporter with the bytes indexed so far (by both indexing threads) and the file size,
// every few MiB, on that thread.
class StepIndexProgress {
 public:
  using Reporter = std::function<void(uint64_t done, uint64_t total)>;

  explicit StepIndexProgress(Reporter reporter);
  ~StepIndexProgress();
  StepIndexProgress(const StepIndexProgress&) = delete;
  StepIndexProgress& operator=(const StepIndexProgress&) = delete;

  // Called by the reader; does nothing when no reporter is set on this thread.
  static void Report(uint64_t done, uint64_t total);

 private:
  Reporter _reporter;
  StepIndexProgress* _pPrevious;
};

}  // namespace step
