// DXInputFilterGeneratorForwarder.h - the interface half of the generator TIEs:
// interface methods 1 to 6 go unchanged to the implementation's operations 1 to 6,
// through its virtual table, so the cloud generator's overrides are reached too.
#pragma once

#include <utility>

#include "InputFilteringInterfaces/QORIInputFilterGenerator.h"

template <class Impl>
class DXInputFilterGeneratorForwarder : public QORIInputFilterGenerator {
 public:
  void AddEntityList(const int& kind, const QORListValQORUnicodeString& names) override {
    Target()->AddEntityList(kind, names);
  }
  HRESULT GenerateDocument(QORUnicodeString format, QORUnicodeString sourcePath,
                           const QORUnicodeString* settingsText) override {
    return Target()->GenerateDocument(std::move(format), std::move(sourcePath), settingsText);
  }
  HRESULT LoadDocumentFromFile(QORUnicodeString path,
                               const QORUnicodeString* settingsText) override {
    return Target()->LoadDocumentFromFile(std::move(path), settingsText);
  }
  HRESULT ShowFilterDialog(QORCommand* father) override {
    return Target()->ShowFilterDialog(father);
  }
  HRESULT GetResolvedFilter(QORIResolvedInputFilter** out) override {
    return Target()->GetResolvedFilter(out);
  }
  HRESULT SaveDocumentToFile(QORUnicodeString path) override {
    return Target()->SaveDocumentToFile(std::move(path));
  }

 private:
  Impl* Target() const { return static_cast<Impl*>(_pImpl); }
};
