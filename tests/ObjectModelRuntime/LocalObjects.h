// LocalObjects.h - a component of the test program itself, for tests that need an
// object of the model but no plug-in.
#pragma once

#include <atomic>

#include "ObjectModelRuntime/QORBaseUnknown.h"

// Counts its destructions into a counter owned by the test.
class LocalCounted : public QORBaseUnknown {
 public:
  explicit LocalCounted(std::atomic<int>* destroyed) : _destroyed(destroyed) {}
  ~LocalCounted() override { _destroyed->fetch_add(1, std::memory_order_relaxed); }

 private:
  std::atomic<int>* _destroyed;
};
