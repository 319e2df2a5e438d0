#include "StepIndexProgress.h"

#include <utility>

namespace step {

namespace {
thread_local StepIndexProgress* t_pCurrent = nullptr;
}  // namespace

StepIndexProgress::StepIndexProgress(Reporter reporter)
    : _reporter(std::move(reporter)), _pPrevious(t_pCurrent) {
  t_pCurrent = this;
}

StepIndexProgress::~StepIndexProgress() {
  t_pCurrent = _pPrevious;
}

void StepIndexProgress::Report(uint64_t done, uint64_t total) {
  if (t_pCurrent != nullptr && t_pCurrent->_reporter) t_pCurrent->_reporter(done, total);
}

}  // namespace step
