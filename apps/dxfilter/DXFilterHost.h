// DXFilterHost.h - what dxfilter needs of the host kit: the modules loaded, and
// components created by late type with readable reasons for failures.
#pragma once

#include <string>
#include <vector>

#include "InputFilteringInterfaces/QORIInputFilterGenerator.h"
#include "InputFilteringInterfaces/QORIResolvedInputFilter.h"
#include "ObjectModelRuntime/QORBaseUnknown_var.h"

typedef QORInterface_var<QORIInputFilterGenerator> QORIInputFilterGenerator_var;
typedef QORInterface_var<QORIResolvedInputFilter> QORIResolvedInputFilter_var;

class DXFilterHost {
 public:
  // Loads every module of the module path; false with a reason when none loads.
  bool LoadModules(std::string& error);
  // Creates a component by late type and queries the interface T; false with a reason.
  template <class T>
  bool Create(const char* lateType, QORInterface_var<T>& holder, std::string& error) {
    void* out = nullptr;
    HRESULT hr = QORInstantiateComponentFor(lateType, T::ClassId(), &out);
    if (QORFailed(hr) || !out) {
      error = std::string("cannot create ") + lateType + ": " + Describe(hr);
      return false;
    }
    holder.__CastTo(static_cast<QORBaseUnknown*>(out));
    static_cast<QORBaseUnknown*>(out)->Release();
    return true;
  }
  // Format names of the structure providers that are registered ("IFC", ...).
  std::vector<std::string> Formats() const;

  static std::string Describe(HRESULT hr);

 private:
  static HRESULT QORInstantiateComponentFor(const char* lateType, const IID& iid, void** out);
};
