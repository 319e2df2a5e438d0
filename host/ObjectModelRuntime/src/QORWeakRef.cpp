// QORWeakRef.cpp - weak references through a shared control block.
#include "ObjectModelRuntime/QORWeakRef.h"

#include "ObjectModelRuntime/src/QORWeakControl.h"

QORWeakRef::QORWeakRef(QORBaseUnknown* target) {
  if (!target) return;
  QORBaseUnknown* impl = target->GetImpl();
  QORWeakControl* control = impl->_pWeakControl.load(std::memory_order_acquire);
  if (!control) {
    auto* made = new QORWeakControl(impl);
    if (impl->_pWeakControl.compare_exchange_strong(control, made, std::memory_order_acq_rel)) {
      control = made;
    } else {
      delete made;  // another thread installed one first; control now holds it
    }
  }
  control->AddRef();
  _pControl = control;
}

QORWeakRef::QORWeakRef(const QORWeakRef& other) : _pControl(other._pControl) {
  if (_pControl) _pControl->AddRef();
}

QORWeakRef& QORWeakRef::operator=(const QORWeakRef& other) {
  if (other._pControl) other._pControl->AddRef();
  if (_pControl) _pControl->Release();
  _pControl = other._pControl;
  return *this;
}

QORWeakRef::~QORWeakRef() {
  if (_pControl) _pControl->Release();
}

QORBaseUnknown* QORWeakRef::Get() const {
  return _pControl ? _pControl->Get() : nullptr;
}
