// QORBaseUnknown.h - the root of the object model: reference counting, interface
// queries, the meta protocol and the host allocator.
//
// An object starts with one reference and destroys itself when Release brings the
// count to zero. Interfaces are reached through TIE objects (see QORTie.h): asking an
// implementation for an interface finds the TIE creator registered for its class, or
// for the nearest parent class that has one, and hands out a new TIE holding the
// implementation alive.
//
// The sixteen virtual slots stand in a fixed order; interface methods follow them.
// Field order matters too: the TIE functions keep a TIE's implementation object and
// its reference count in the second and third fields (the first is the vtable).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "ObjectModelRuntime/QORMetaClass.h"
#include "SystemStrings/QORTypes.h"

class QORWeakControl;

QOR_KIT_API extern const IID IID_QORBaseUnknown;

class QOR_KIT_API QORBaseUnknown {
 public:
  QORBaseUnknown();
  QORBaseUnknown(const QORBaseUnknown&);
  QORBaseUnknown& operator=(const QORBaseUnknown&);

  // 1-3
  virtual HRESULT QueryInterface(const IID& iid, void** out);
  virtual ULONG AddRef();
  virtual ULONG Release();
  // 4-7: automation, not supported by the kit
  virtual HRESULT GetTypeInfoCount(unsigned int* count);
  virtual HRESULT GetTypeInfo(unsigned int index, unsigned long locale, void** out);
  virtual HRESULT GetIDsOfNames(const IID& iid, char** names, unsigned int count,
                                unsigned long locale, long* ids);
  virtual HRESULT Invoke(long id, const IID& iid, unsigned long locale, unsigned short flags,
                         void* params, void* result, void* exception, unsigned int* argError);
  // 8: query by interface name
  virtual HRESULT QueryInterface(const char* interfaceName, void** out);
  // 9
  virtual ~QORBaseUnknown();
  // 10-12: meta protocol
  virtual const QORMetaClass* GetMetaObject() const;
  virtual const char* IsA() const;
  virtual int IsAKindOf(const char* className) const;
  // 13-16
  virtual QORBaseUnknown* GetImpl(int flag = 0);
  virtual int IsNull() const;
  virtual int IsEqual(QORBaseUnknown* other);
  virtual HRESULT ChangeComponentState(int fromState, int toState, int flag);

  // The host allocator; gives null instead of throwing (new-expressions then skip
  // the constructor and yield null).
  static void* operator new(size_t size) noexcept;
  static void operator delete(void* p) noexcept;
  static const QORMetaClass* MetaObject();

  // Reference count as it stands (diagnostics and tests).
  int32_t GetRefCount() const { return _refCount.load(std::memory_order_relaxed); }

 protected:
  // Second and third fields: for a TIE, its implementation object and its count.
  QORBaseUnknown* _pImpl = nullptr;
  std::atomic<int32_t> _refCount{1};

 private:
  friend class QORWeakRef;
  friend QOR_KIT_API void Tie_Construct(QORBaseUnknown*, const QORMetaClass*, QORBaseUnknown*,
                                        const CLSID&, int, QORBaseUnknown*&, QORBaseUnknown* (*)(),
                                        QORBaseUnknown*);
  friend QOR_KIT_API ULONG Tie_Release(int&, QORBaseUnknown*, int);
  friend QOR_KIT_API void Tie_Destruct(QORBaseUnknown*, int);
  friend QOR_KIT_API HRESULT Tie_Query(QORBaseUnknown*, const QORMetaClass*, int, const IID&,
                                       void**);

  std::atomic<QORWeakControl*> _pWeakControl{nullptr};
};

// Test hook: the next count calls of QORBaseUnknown::operator new give null.
QOR_KIT_API void QORFailNextAllocations(int count);
// Objects allocated by the host allocator and not yet freed (leak checks in tests).
QOR_KIT_API long QORLiveAllocations();
