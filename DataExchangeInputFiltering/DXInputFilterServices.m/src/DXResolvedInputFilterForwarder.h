// DXResolvedInputFilterForwarder.h - the interface half of the reader TIEs: interface
// methods 1 to 5 go unchanged to the reader's operations 1 to 5.
#pragma once

#include "InputFilteringInterfaces/QORIResolvedInputFilter.h"

template <class Impl>
class DXResolvedInputFilterForwarder : public QORIResolvedInputFilter {
 public:
  HRESULT ReadFilterFile(const QORUnicodeString& path) override {
    return Target()->ReadFilterFile(path);
  }
  HRESULT GetObjectAttribute(const QORUnicodeString& uid, const QORUnicodeString& name,
                             QORUnicodeString& value) override {
    return Target()->GetObjectAttribute(uid, name, value);
  }
  HRESULT GetFilterID(QORUnicodeString& id) override { return Target()->GetFilterID(id); }
  HRESULT GetSetting(const QORUnicodeString& name, QORUnicodeString& value) override {
    return Target()->GetSetting(name, value);
  }
  HRESULT GetObjectIds(std::vector<QORUnicodeString>& ids) override {
    return Target()->GetObjectIds(ids);
  }

 private:
  Impl* Target() const { return static_cast<Impl*>(_pImpl); }
};
