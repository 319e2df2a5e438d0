// InputFilteringInterfaces.cpp - identifiers and meta classes of the input-filtering
// interfaces.
#include <atomic>

#include "InputFilteringInterfaces/QORIInputFilterGenerator.h"
#include "InputFilteringInterfaces/QORIInputFilterStructure.h"
#include "InputFilteringInterfaces/QORIResolvedInputFilter.h"

const IID IID_QORIInputFilterGenerator = {
    0x6b1f0c21, 0x4d2e, 0x4a57, {0x9a, 0x61, 0x3e, 0x52, 0x0d, 0x17, 0xc4, 0x01}};
const IID IID_QORIResolvedInputFilter = {
    0x6b1f0c22, 0x4d2e, 0x4a57, {0x9a, 0x61, 0x3e, 0x52, 0x0d, 0x17, 0xc4, 0x02}};
const IID IID_QORIInputFilterStructure = {
    0x6b1f0c23, 0x4d2e, 0x4a57, {0x9a, 0x61, 0x3e, 0x52, 0x0d, 0x17, 0xc4, 0x03}};

namespace {

const QORMetaClass* InterfaceMeta(std::atomic<const QORMetaClass*>& slot, const char* name,
                                  const IID& iid) {
  return zqy::internal::LazyInterfaceMetaObject(slot, name, iid, &QORBaseUnknown::MetaObject);
}

std::atomic<const QORMetaClass*> g_generatorMeta{nullptr};
std::atomic<const QORMetaClass*> g_resolvedMeta{nullptr};
std::atomic<const QORMetaClass*> g_structureMeta{nullptr};

}  // namespace

QORIInputFilterGenerator::QORIInputFilterGenerator() = default;
QORIInputFilterGenerator::~QORIInputFilterGenerator() = default;
const QORMetaClass* QORIInputFilterGenerator::MetaObject() {
  return InterfaceMeta(g_generatorMeta, "QORIInputFilterGenerator", IID_QORIInputFilterGenerator);
}

QORIResolvedInputFilter::QORIResolvedInputFilter() = default;
QORIResolvedInputFilter::~QORIResolvedInputFilter() = default;
const QORMetaClass* QORIResolvedInputFilter::MetaObject() {
  return InterfaceMeta(g_resolvedMeta, "QORIResolvedInputFilter", IID_QORIResolvedInputFilter);
}

QORIInputFilterStructure::QORIInputFilterStructure() = default;
QORIInputFilterStructure::~QORIInputFilterStructure() = default;
const QORMetaClass* QORIInputFilterStructure::MetaObject() {
  return InterfaceMeta(g_structureMeta, "QORIInputFilterStructure", IID_QORIInputFilterStructure);
}
