// QORInputFilterStructureTie.h - the TIE that binds QORIInputFilterStructure to a
// provider class, for every module that implements a structure provider.
//
// Impl names the provider class: it has a static MetaObject() and the eleven provider
// operations with the interface's signatures. Register the binding with
//   QORFillDictionary::Register(Impl::MetaObject(), QORIInputFilterStructure::MetaObject(),
//                               &QORInputFilterStructureTie<Impl>::Create, nullptr, 1);
#pragma once

#include <atomic>
#include <utility>

#include "InputFilteringInterfaces/QORIInputFilterStructure.h"
#include "ObjectModelRuntime/QORTie.h"

template <class Impl>
class QORInputFilterStructureTie final : public QORIInputFilterStructure {
 public:
  static const QORMetaClass* MetaObject() {
    static std::atomic<const QORMetaClass*> slot{nullptr};
    return zqy::internal::LazyTieMetaObject<QORIInputFilterStructure, Impl>(
        slot, IID_QORIInputFilterStructure);
  }

  // A new TIE over implementation; null when the host allocator gives nothing.
  static QORBaseUnknown* Create(QORBaseUnknown* implementation, QORBaseUnknown* second) {
    static QORBaseUnknown* slot = nullptr;
    return QORCreateTie<QORInputFilterStructureTie, Impl>(implementation, second, slot);
  }

  QOR_TIE_OBJECT_MODEL(QORInputFilterStructureTie)

  HRESULT SetInputFile(QORUnicodeString path) override {
    return P()->SetInputFile(std::move(path));
  }
  HRESULT GetFilterID(QORUnicodeString& id) override { return P()->GetFilterID(id); }
  HRESULT GetFormatUsage(QORUnicodeString& usage) override { return P()->GetFormatUsage(usage); }
  HRESULT GetColumns(QORListValQORUnicodeString& columns) override {
    return P()->GetColumns(columns);
  }
  HRESULT GetColumnDescription(QORUnicodeString column, QORUnicodeString& text, int32_t& type,
                               QORListValQORUnicodeString& values) override {
    return P()->GetColumnDescription(std::move(column), text, type, values);
  }
  HRESULT GetRoots(QORRawCollPV& roots) override { return P()->GetRoots(roots); }
  HRESULT GetEntityLabel(void* entity, QORUnicodeString& label, QORListValQORUnicodeString& uids,
                         bool& isNLS) override {
    return P()->GetEntityLabel(entity, label, uids, isNLS);
  }
  HRESULT GetEntityData(void* entity, QORListValQORUnicodeString& keys,
                        QORListValQORUnicodeString& values) override {
    return P()->GetEntityData(entity, keys, values);
  }
  HRESULT GetChildren(void* entity, QORRawCollPV& children) override {
    return P()->GetChildren(entity, children);
  }
  HRESULT GetEntityValue(void* entity, QORUnicodeString column, QORUnicodeString& value,
                         bool& isNLS, const QORUnicodeString* mode) override {
    return P()->GetEntityValue(entity, std::move(column), value, isNLS, mode);
  }
  HRESULT GetEntityAttribute(void* entity, QORUnicodeString name,
                             QORUnicodeString& value) override {
    return P()->GetEntityAttribute(entity, std::move(name), value);
  }

 private:
  Impl* P() const { return static_cast<Impl*>(_pImpl); }
};
