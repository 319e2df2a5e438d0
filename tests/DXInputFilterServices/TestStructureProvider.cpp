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

const QORMetaClass* ComponentMeta(std::atomic<const QORMetaClass*>& slot, const char* name,
                                  size_t size) {
  return zqy::internal::LazyMetaObject(slot, [name, size] {
    return zqy::internal::fct_RetrieveMetaObject(name, QORMetaClass::kComponent,
                                                 QORBaseUnknown::MetaObject(), "QORNull",
                                                 "DXInputFilterServicesTests", size);
  });
}

// The configurable provider.
class TestStructureProvider : public QORBaseUnknown {
 public:
  TestStructureProvider() : _model(g_model ? g_model : &_empty) { ++g_liveProviders; }
  ~TestStructureProvider() override { --g_liveProviders; }

  static const QORMetaClass* MetaObject() {
    static std::atomic<const QORMetaClass*> slot{nullptr};
    return ComponentMeta(slot, "TestStructureProvider", sizeof(TestStructureProvider));
  }
  const QORMetaClass* GetMetaObject() const override { return MetaObject(); }

  HRESULT SetInputFile(QORUnicodeString path) {
    Record("SetInputFile", nullptr, path.Str());
    return _model->setInputFileResult;
  }
  HRESULT GetFilterID(QORUnicodeString& id) {
    Record("GetFilterID", nullptr, "");
    id = _model->filterId.c_str();
    return S_OK;
  }
  HRESULT GetFormatUsage(QORUnicodeString& usage) {
    Record("GetFormatUsage", nullptr, "");
    usage = _model->formatUsage.c_str();
    return S_OK;
  }
  HRESULT GetColumns(QORListValQORUnicodeString& columns) {
    Record("GetColumns", nullptr, "");
    for (const std::string& name : _model->columnNames) columns.Append(QORUnicodeString(name));
    return S_OK;
  }
  HRESULT GetColumnDescription(QORUnicodeString column, QORUnicodeString& text, int32_t& type,
                               QORListValQORUnicodeString& values) {
    Record("GetColumnDescription", nullptr, column.Str());
    auto it = _model->columns.find(column.Str());
    if (it == _model->columns.end()) return E_FAIL;
    text = it->second.text.c_str();
    type = it->second.type;
    if (auto seq = _model->typeSequence.find(column.Str());
        seq != _model->typeSequence.end() && !seq->second.empty()) {
      size_t asked = _model->CountOf("GetColumnDescription", column.Str()) - 1;
      type = seq->second[std::min(asked, seq->second.size() - 1)];
    }
    for (const std::string& v : it->second.possibleValues) values.Append(QORUnicodeString(v));
    return S_OK;
  }
  HRESULT GetRoots(QORRawCollPV& roots) {
    Record("GetRoots", nullptr, "");
    for (TestEntity* root : _model->roots) roots.Append(root);
    return S_OK;
  }
  HRESULT GetEntityLabel(void* entity, QORUnicodeString& label, QORListValQORUnicodeString& uids,
                         bool& isNLS) {
    Record("GetEntityLabel", entity, "");
    if (!entity) return E_INVALIDARG;
    auto* e = static_cast<TestEntity*>(entity);
    label = e->label.c_str();
    for (const std::string& uid : e->uids) uids.Append(QORUnicodeString(uid));
    isNLS = e->labelIsNLS;
    return S_OK;
  }
  HRESULT GetEntityData(void* entity, QORListValQORUnicodeString& keys,
                        QORListValQORUnicodeString& values) {
    Record("GetEntityData", entity, "");
    if (!entity) return E_INVALIDARG;
    for (const auto& [key, value] : static_cast<TestEntity*>(entity)->data) {
      keys.Append(QORUnicodeString(key));
      values.Append(QORUnicodeString(value));
    }
    return S_OK;
  }
  HRESULT GetChildren(void* entity, QORRawCollPV& children) {
    Record("GetChildren", entity, "");
    if (!entity) return E_INVALIDARG;
    for (TestEntity* child : static_cast<TestEntity*>(entity)->children) children.Append(child);
    return S_OK;
  }
  HRESULT GetEntityValue(void* entity, QORUnicodeString column, QORUnicodeString& value,
                         bool& isNLS, const QORUnicodeString* mode) {
    ProviderCall& call = Record("GetEntityValue", entity, column.Str());
    if (mode) call.mode = mode->Str();
    if (!entity) return E_INVALIDARG;
    if (!_model->modeEchoColumn.empty() && column.Str() == _model->modeEchoColumn) {
      value = mode ? mode->CastToCharPtr() : "";
      isNLS = false;
      return S_OK;
    }
    auto* e = static_cast<TestEntity*>(entity);
    auto it = e->values.find(column.Str());
    if (it == e->values.end()) return S_OK;
    value = it->second.first.c_str();
    isNLS = it->second.second;
    return S_OK;
  }
  HRESULT GetEntityAttribute(void* entity, QORUnicodeString name, QORUnicodeString& value) {
    Record("GetEntityAttribute", entity, name.Str());
    if (!entity) return E_INVALIDARG;
    auto* e = static_cast<TestEntity*>(entity);
    auto it = e->attributes.find(name.Str());
    if (it != e->attributes.end()) value = it->second.c_str();
    return S_OK;
  }

 private:
  ProviderCall& Record(const char* method, void* entity, std::string argument) {
    _model->calls.push_back(
        ProviderCall{method, static_cast<const TestEntity*>(entity), std::move(argument), {}});
    return _model->calls.back();
  }

  TestProviderModel* _model;
  TestProviderModel _empty;
};

typedef QORInputFilterStructureTie<TestStructureProvider>
    TIEQORIInputFilterStructureTestStructureProvider;

// Answers every interface query with success and no object.
class NullObjectProvider : public QORBaseUnknown {
 public:
  NullObjectProvider() { ++g_liveProviders; }
  ~NullObjectProvider() override { --g_liveProviders; }
  static const QORMetaClass* MetaObject() {
    static std::atomic<const QORMetaClass*> slot{nullptr};
    return ComponentMeta(slot, "NullObjectProvider", sizeof(NullObjectProvider));
  }
  const QORMetaClass* GetMetaObject() const override { return MetaObject(); }
  using QORBaseUnknown::QueryInterface;
  HRESULT QueryInterface(const IID&, void** out) override {
    if (out) *out = nullptr;
    return S_OK;
  }
};

// A component that has no TIE for the structure interface.
class NoInterfaceProvider : public QORBaseUnknown {
 public:
  NoInterfaceProvider() { ++g_liveProviders; }
  ~NoInterfaceProvider() override { --g_liveProviders; }
  static const QORMetaClass* MetaObject() {
    static std::atomic<const QORMetaClass*> slot{nullptr};
    return ComponentMeta(slot, "NoInterfaceProvider", sizeof(NoInterfaceProvider));
  }
  const QORMetaClass* GetMetaObject() const override { return MetaObject(); }
};

QORBaseUnknown* CreateTestStructureProvider() {
  return new TestStructureProvider();
}
QORBaseUnknown* CreateNullObjectProvider() {
  return new NullObjectProvider();
}
QORBaseUnknown* CreateNoInterfaceProvider() {
  return new NoInterfaceProvider();
}
QORBaseUnknown* CreateNothing() {
  return nullptr;
}

std::string FilterLateType(const char* format) {
  return std::string("INPUT_") + format + "_FILTER";
}

}  // namespace

TestEntity* TestProviderModel::Add(const std::string& name, const std::string& label,
                                   std::vector<std::string> uids) {
  _entities.push_back(std::make_unique<TestEntity>());
  TestEntity* e = _entities.back().get();
  e->name = name;
  e->label = label;
  e->uids = std::move(uids);
  return e;
}

void TestProviderModel::AddColumn(const std::string& name, const std::string& text, int32_t type,
                                  std::vector<std::string> possibleValues) {
  columnNames.push_back(name);
  columns[name] = TestColumn{text, type, std::move(possibleValues)};
}

std::vector<ProviderCall> TestProviderModel::CallsOf(const std::string& method) const {
  std::vector<ProviderCall> found;
  for (const ProviderCall& call : calls)
    if (call.method == method) found.push_back(call);
  return found;
}

std::vector<std::string> TestProviderModel::Trace(const std::vector<std::string>& methods) const {
  std::vector<std::string> trace;
  for (const ProviderCall& call : calls) {
    for (const std::string& method : methods) {
      if (call.method != method) continue;
      std::string line = call.method + "(" + (call.entity ? call.entity->name : "");
      if (!call.argument.empty()) line += (call.entity ? "," : "") + call.argument;
      trace.push_back(line + ")");
    }
  }
  return trace;
}

size_t TestProviderModel::CountOf(const std::string& method, const std::string& argument) const {
  size_t n = 0;
  for (const ProviderCall& call : calls)
    if (call.method == method && call.argument == argument) ++n;
  return n;
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
    QORFillDictionary::RegisterFunctionCreation(FilterLateType(kTestFormat).c_str(),
                                                &CreateTestStructureProvider);
    QORFillDictionary::RegisterFunctionCreation(FilterLateType(kMixedCaseFormat).c_str(),
                                                &CreateTestStructureProvider);
    QORFillDictionary::Register(
        TestStructureProvider::MetaObject(), QORIInputFilterStructure::MetaObject(),
        &TIEQORIInputFilterStructureTestStructureProvider::Create, nullptr, 1);
    QORFillDictionary::RegisterFunctionCreation(FilterLateType(kNullObjectFormat).c_str(),
                                                &CreateNullObjectProvider);
    QORFillDictionary::RegisterFunctionCreation(FilterLateType(kNoInterfaceFormat).c_str(),
                                                &CreateNoInterfaceProvider);
    QORFillDictionary::RegisterFunctionCreation(FilterLateType(kNoCreationFormat).c_str(),
                                                &CreateNothing);
  });
}

}  // namespace dxtest
