// TestStructureProvider.cpp - the test providers: components of the object model with
// a TIE binding QORIInputFilterStructure, registered from the test program itself.
#include "TestStructureProvider.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "InputFilteringInterfaces/QORIInputFilterStructure.h"
#include "InputFilteringInterfaces/QORInputFilterStructureTie.h"
#include "ObjectModelRuntime/QORFillDictionary.h"
#include "ObjectModelRuntime/QORTie.h"

namespace dxtest {

namespace {

TestProviderModel* g_model = nullptr;
std::atomic<int> g_liveProviders{0};

// What every test component shares: its meta class and the count of live providers.
template <class Self>
class Counted : public QORBaseUnknown {
 public:
  Counted() { ++g_liveProviders; }
  ~Counted() override { --g_liveProviders; }
  static const QORMetaClass* MetaObject() {
    static std::atomic<const QORMetaClass*> slot{nullptr};
    return zqy::internal::LazyComponentMetaObject(slot, Self::kName, &QORBaseUnknown::MetaObject,
                                                  "DXInputFilterServicesTests", sizeof(Self));
  }
  const QORMetaClass* GetMetaObject() const override { return MetaObject(); }
};

// The configurable provider.
class TestStructureProvider : public Counted<TestStructureProvider> {
 public:
  static constexpr const char* kName = "TestStructureProvider";

  HRESULT SetInputFile(QORUnicodeString path) {
    Record("SetInputFile", nullptr, path.Str());
    return Model().setInputFileResult;
  }
  HRESULT GetFilterID(QORUnicodeString& id) {
    Record("GetFilterID", nullptr, "");
    id = Model().filterId.c_str();
    return S_OK;
  }
  HRESULT GetFormatUsage(QORUnicodeString& usage) {
    Record("GetFormatUsage", nullptr, "");
    usage = Model().formatUsage.c_str();
    return S_OK;
  }
  HRESULT GetColumns(QORListValQORUnicodeString& columns) {
    Record("GetColumns", nullptr, "");
    for (const std::string& name : Model().columnNames) columns.Append(QORUnicodeString(name));
    return S_OK;
  }
  HRESULT GetColumnDescription(QORUnicodeString column, QORUnicodeString& text, int32_t& type,
                               QORListValQORUnicodeString& values) {
    Record("GetColumnDescription", nullptr, column.Str());
    auto it = Model().columns.find(column.Str());
    if (it == Model().columns.end()) return E_FAIL;
    text = it->second.text.c_str();
    type = it->second.type;
    if (auto seq = Model().typeSequence.find(column.Str()); seq != Model().typeSequence.end()) {
      size_t asked = Model().CountOf("GetColumnDescription", column.Str()) - 1;
      type = seq->second[std::min(asked, seq->second.size() - 1)];
    }
    for (const std::string& v : it->second.possibleValues) values.Append(QORUnicodeString(v));
    return S_OK;
  }
  HRESULT GetRoots(QORRawCollPV& roots) {
    Record("GetRoots", nullptr, "");
    for (TestEntity* root : Model().roots) roots.Append(root);
    return S_OK;
  }
  HRESULT GetEntityLabel(void* entity, QORUnicodeString& label, QORListValQORUnicodeString& uids,
                         bool& isNLS) {
    TestEntity* e = Record("GetEntityLabel", entity, "");
    if (!e) return E_INVALIDARG;
    label = e->label.c_str();
    for (const std::string& uid : e->uids) uids.Append(QORUnicodeString(uid));
    isNLS = e->labelIsNLS;
    return S_OK;
  }
  HRESULT GetEntityData(void* entity, QORListValQORUnicodeString& keys,
                        QORListValQORUnicodeString& values) {
    TestEntity* e = Record("GetEntityData", entity, "");
    if (!e) return E_INVALIDARG;
    for (const auto& [key, value] : e->data) {
      keys.Append(QORUnicodeString(key));
      values.Append(QORUnicodeString(value));
    }
    return S_OK;
  }
  HRESULT GetChildren(void* entity, QORRawCollPV& children) {
    TestEntity* e = Record("GetChildren", entity, "");
    if (!e) return E_INVALIDARG;
    for (TestEntity* child : e->children) children.Append(child);
    return S_OK;
  }
  HRESULT GetEntityValue(void* entity, QORUnicodeString column, QORUnicodeString& value,
                         bool& isNLS, const QORUnicodeString* mode) {
    TestEntity* e = Record("GetEntityValue", entity, column.Str());
    if (mode) Model().calls.back().mode = mode->Str();
    if (!e) return E_INVALIDARG;
    isNLS = false;
    if (!Model().modeEchoColumn.empty() && column.Str() == Model().modeEchoColumn) {
      value = mode ? mode->CastToCharPtr() : "";
    } else if (auto it = e->values.find(column.Str()); it != e->values.end()) {
      value = it->second.first.c_str();
      isNLS = it->second.second;
    }
    return S_OK;
  }
  HRESULT GetEntityAttribute(void* entity, QORUnicodeString name, QORUnicodeString& value) {
    TestEntity* e = Record("GetEntityAttribute", entity, name.Str());
    if (!e) return E_INVALIDARG;
    if (auto it = e->attributes.find(name.Str()); it != e->attributes.end())
      value = it->second.c_str();
    return S_OK;
  }

 private:
  TestProviderModel& Model() { return g_model ? *g_model : _empty; }
  TestEntity* Record(const char* method, void* entity, std::string argument) {
    auto* e = static_cast<TestEntity*>(entity);
    Model().calls.push_back(ProviderCall{method, e, std::move(argument), {}});
    return e;
  }

  TestProviderModel _empty;
};

typedef QORInputFilterStructureTie<TestStructureProvider>
    TIEQORIInputFilterStructureTestStructureProvider;

// Answers every interface query with success and no object.
class NullObjectProvider : public Counted<NullObjectProvider> {
 public:
  static constexpr const char* kName = "NullObjectProvider";
  using QORBaseUnknown::QueryInterface;
  HRESULT QueryInterface(const IID&, void** out) override {
    if (out) *out = nullptr;
    return S_OK;
  }
};

// A component that has no TIE for the structure interface.
class NoInterfaceProvider : public Counted<NoInterfaceProvider> {
 public:
  static constexpr const char* kName = "NoInterfaceProvider";
};

template <class T>
QORBaseUnknown* Create() {
  return new T();
}
QORBaseUnknown* CreateNothing() {
  return nullptr;
}

}  // namespace

std::vector<ProviderCall> TestProviderModel::CallsOf(const std::string& method) const {
  std::vector<ProviderCall> found;
  std::copy_if(calls.begin(), calls.end(), std::back_inserter(found),
               [&](const ProviderCall& call) { return call.method == method; });
  return found;
}

std::vector<std::string> TestProviderModel::Trace(const std::vector<std::string>& methods) const {
  std::vector<std::string> trace;
  for (const ProviderCall& call : calls) {
    if (std::find(methods.begin(), methods.end(), call.method) == methods.end()) continue;
    std::string line = call.method + "(" + (call.entity ? call.entity->name : "");
    if (!call.argument.empty()) line += (call.entity ? "," : "") + call.argument;
    trace.push_back(line + ")");
  }
  return trace;
}

size_t TestProviderModel::CountOf(const std::string& method, const std::string& argument) const {
  return std::count_if(calls.begin(), calls.end(), [&](const ProviderCall& call) {
    return call.method == method && call.argument == argument;
  });
}

void SetProviderModel(TestProviderModel* model) {
  g_model = model;
}

int LiveProviders() {
  return g_liveProviders.load();
}

void RegisterTestProviders() {
  static std::once_flag once;
  std::call_once(once, [] {
    const std::pair<const char*, QORBaseUnknown* (*)()> formats[] = {
        {kTestFormat, &Create<TestStructureProvider>},
        {kMixedCaseFormat, &Create<TestStructureProvider>},
        {kNullObjectFormat, &Create<NullObjectProvider>},
        {kNoInterfaceFormat, &Create<NoInterfaceProvider>},
        {kNoCreationFormat, &CreateNothing}};
    for (const auto& [format, create] : formats)
      QORFillDictionary::RegisterFunctionCreation(
          (std::string("INPUT_") + format + "_FILTER").c_str(), create);
    QORFillDictionary::Register(
        TestStructureProvider::MetaObject(), QORIInputFilterStructure::MetaObject(),
        &TIEQORIInputFilterStructureTestStructureProvider::Create, nullptr, 1);
  });
}

}  // namespace dxtest
