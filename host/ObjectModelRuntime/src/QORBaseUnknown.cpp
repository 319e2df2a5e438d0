// QORBaseUnknown.cpp - reference counting, interface queries and the host allocator.
#include "ObjectModelRuntime/QORBaseUnknown.h"

#include <cstdlib>

#include "ObjectModelRuntime/QORFillDictionary.h"
#include "ObjectModelRuntime/src/QORWeakControl.h"

const IID IID_QORBaseUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace {
std::atomic<int> g_failNextAllocations{0};
std::atomic<long> g_liveAllocations{0};
std::atomic<const QORMetaClass*> g_baseMeta{nullptr};
}  // namespace

void QORFailNextAllocations(int count) {
  g_failNextAllocations.store(count);
}
long QORLiveAllocations() {
  return g_liveAllocations.load();
}

void* QORBaseUnknown::operator new(size_t size) noexcept {
  int pending = g_failNextAllocations.load();
  while (pending > 0) {
    if (g_failNextAllocations.compare_exchange_weak(pending, pending - 1)) return nullptr;
  }
  void* p = std::malloc(size);
  if (p) g_liveAllocations.fetch_add(1, std::memory_order_relaxed);
  return p;
}

void QORBaseUnknown::operator delete(void* p) noexcept {
  if (!p) return;
  g_liveAllocations.fetch_sub(1, std::memory_order_relaxed);
  std::free(p);
}

const QORMetaClass* QORBaseUnknown::MetaObject() {
  return zqy::internal::LazyMetaObject(g_baseMeta, [] {
    return zqy::internal::fct_RetrieveMetaObject("QORBaseUnknown", QORMetaClass::kComponent,
                                                 nullptr, "QORNull", "ObjectModelRuntime",
                                                 sizeof(QORBaseUnknown));
  });
}

QORBaseUnknown::QORBaseUnknown() = default;
// A copy is a new object: it has its own count and no weak references.
QORBaseUnknown::QORBaseUnknown(const QORBaseUnknown&) : QORBaseUnknown() {}
QORBaseUnknown& QORBaseUnknown::operator=(const QORBaseUnknown&) {
  return *this;
}

QORBaseUnknown::~QORBaseUnknown() {
  if (QORWeakControl* control = _pWeakControl.load(std::memory_order_acquire)) {
    control->Expire();
    control->Release();
  }
}

HRESULT QORBaseUnknown::QueryInterface(const IID& iid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (iid == IID_QORBaseUnknown) {
    AddRef();
    *out = this;
    return S_OK;
  }
  QORTieCreator creator = QORFillDictionary::FindTieCreator(GetMetaObject(), iid);
  if (!creator) return E_NOINTERFACE;
  QORBaseUnknown* tie = creator(this, nullptr);
  if (!tie) return E_OUTOFMEMORY;
  *out = tie;
  return S_OK;
}

HRESULT QORBaseUnknown::QueryInterface(const char* interfaceName, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  const IID* iid = QORFillDictionary::FindInterfaceId(interfaceName);
  if (!iid) return E_NOINTERFACE;
  return QueryInterface(*iid, out);
}

ULONG QORBaseUnknown::AddRef() {
  return static_cast<ULONG>(_refCount.fetch_add(1, std::memory_order_relaxed) + 1);
}

ULONG QORBaseUnknown::Release() {
  int32_t left = _refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete this;
  return static_cast<ULONG>(left < 0 ? 0 : left);
}

HRESULT QORBaseUnknown::GetTypeInfoCount(unsigned int* count) {
  if (count) *count = 0;
  return E_NOTIMPL;
}
HRESULT QORBaseUnknown::GetTypeInfo(unsigned int, unsigned long, void** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}
HRESULT QORBaseUnknown::GetIDsOfNames(const IID&, char**, unsigned int, unsigned long, long*) {
  return E_NOTIMPL;
}
HRESULT QORBaseUnknown::Invoke(long, const IID&, unsigned long, unsigned short, void*, void*, void*,
                               unsigned int*) {
  return E_NOTIMPL;
}

const QORMetaClass* QORBaseUnknown::GetMetaObject() const {
  return MetaObject();
}
const char* QORBaseUnknown::IsA() const {
  return GetMetaObject()->GetName();
}
int QORBaseUnknown::IsAKindOf(const char* className) const {
  return GetMetaObject()->IsAKindOf(className);
}
QORBaseUnknown* QORBaseUnknown::GetImpl(int) {
  return _pImpl ? _pImpl : this;
}
int QORBaseUnknown::IsNull() const {
  return 0;
}
int QORBaseUnknown::IsEqual(QORBaseUnknown* other) {
  return other && other->GetImpl() == GetImpl() ? 1 : 0;
}
HRESULT QORBaseUnknown::ChangeComponentState(int, int, int) {
  return E_NOTIMPL;
}
