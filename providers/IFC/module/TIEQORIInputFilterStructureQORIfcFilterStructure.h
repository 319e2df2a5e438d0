// TIEQORIInputFilterStructureQORIfcFilterStructure.h - binds QORIInputFilterStructure
// to the IFC provider: each interface method goes to the provider's operation of the
// same name.
#pragma once

#include "InputFilteringInterfaces/QORIInputFilterStructure.h"
#include "ObjectModelRuntime/QORTie.h"
#include "QORIfcFilterStructure.h"

class TIEQORIInputFilterStructureQORIfcFilterStructure final : public QORIInputFilterStructure {
 public:
  static const QORMetaClass* MetaObject();

  using QORBaseUnknown::QueryInterface;
  HRESULT QueryInterface(const IID& iid, void** out) override {
    return Tie_Query(this, MetaObject(), 1, iid, out);
  }
  ULONG AddRef() override { return Tie_AddRef(_pImpl, MetaObject()->GetTypeOfClass(), &_refCount); }
  ULONG Release() override {
    int deleteFlag = 0;
    ULONG left = Tie_Release(deleteFlag, this, MetaObject()->GetTypeOfClass());
    if (deleteFlag) delete this;
    return left;
  }
  ~TIEQORIInputFilterStructureQORIfcFilterStructure() override {
    Tie_Destruct(this, MetaObject()->GetTypeOfClass());
  }
  const QORMetaClass* GetMetaObject() const override { return MetaObject(); }

  HRESULT SetInputFile(QORUnicodeString path) override { return P()->SetInputFile(std::move(path)); }
  HRESULT GetFilterID(QORUnicodeString& id) override { return P()->GetFilterID(id); }
  HRESULT GetFormatUsage(QORUnicodeString& usage) override { return P()->GetFormatUsage(usage); }
  HRESULT GetColumns(QORListValQORUnicodeString& columns) override { return P()->GetColumns(columns); }
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
  HRESULT GetEntityAttribute(void* entity, QORUnicodeString name, QORUnicodeString& value) override {
    return P()->GetEntityAttribute(entity, std::move(name), value);
  }

 private:
  QORIfcFilterStructure* P() const { return static_cast<QORIfcFilterStructure*>(_pImpl); }
};

QOR_EXPORT QORBaseUnknown* CreateTIEQORIInputFilterStructureQORIfcFilterStructure(
    QORBaseUnknown* implementation, QORBaseUnknown* second);
