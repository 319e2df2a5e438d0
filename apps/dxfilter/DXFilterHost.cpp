// DXFilterHost.cpp - module loading and component creation for dxfilter.
#include "DXFilterHost.h"

#include <cstdio>

#include "ObjectModelRuntime/QORFillDictionary.h"
#include "ObjectModelRuntime/QORInstantiateComponent.h"
#include "ObjectModelRuntime/QOROMModule.h"

bool DXFilterHost::LoadModules(std::string& error) {
  std::vector<std::string> errors;
  int loaded = QORLoadModules(&errors);
  if (loaded > 0) return true;
  std::string folders;
  for (const std::string& f : QORModulePath()) folders += (folders.empty() ? "" : ":") + f;
  error = "no module could be loaded from " +
          (folders.empty() ? std::string("(no module path)") : folders);
  if (!errors.empty()) error += " (" + errors.front() + ")";
  return false;
}

std::vector<std::string> DXFilterHost::Formats() const {
  std::vector<std::string> formats;
  const std::string prefix = "INPUT_", suffix = "_FILTER";
  for (const std::string& lateType : QORFillDictionary::ListLateTypes()) {
    if (lateType.size() > prefix.size() + suffix.size() && lateType.starts_with(prefix) &&
        lateType.ends_with(suffix))
      formats.push_back(
          lateType.substr(prefix.size(), lateType.size() - prefix.size() - suffix.size()));
  }
  return formats;
}

HRESULT DXFilterHost::QORInstantiateComponentFor(const char* lateType, const IID& iid, void** out) {
  return QORInstantiateComponent(lateType, iid, out);
}

std::string DXFilterHost::Describe(HRESULT hr) {
  switch (hr) {
    case S_OK:
      return "success";
    case E_FAIL:
      return "failed (0x80004005)";
    case E_NOTIMPL:
      return "not available (0x80004001)";
    case E_INVALIDARG:
      return "invalid argument (0x80070057)";
    case E_OUTOFMEMORY:
      return "out of memory (0x8007000E)";
    case E_NOINTERFACE:
      return "interface not supported (0x80004002)";
    case QOR_E_CLASSNOTREG:
      return "no such component registered (0x80040154)";
    default:
      break;
  }
  char text[32];
  std::snprintf(text, sizeof(text), "error 0x%08X", static_cast<unsigned>(hr));
  return text;
}
