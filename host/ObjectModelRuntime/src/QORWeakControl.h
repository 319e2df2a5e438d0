// QORWeakControl.h - the control block shared by an object and its weak references.
#pragma once

#include <atomic>

class QORBaseUnknown;

class QORWeakControl {
 public:
  explicit QORWeakControl(QORBaseUnknown* object) : _object(object) {}
  QORBaseUnknown* Get() const { return _object.load(std::memory_order_acquire); }
  void Expire() { _object.store(nullptr, std::memory_order_release); }
  void AddRef() { _refs.fetch_add(1, std::memory_order_relaxed); }
  void Release() {
    if (_refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }

 private:
  std::atomic<QORBaseUnknown*> _object;
  std::atomic<int> _refs{1};  // the object's own reference
};
