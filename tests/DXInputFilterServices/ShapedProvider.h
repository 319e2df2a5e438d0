// ShapedProvider.h - the module tests' structure provider: the benchmarks' synthetic
// entities ("INPUT_SHAPED_FILTER"), served in a tree, with data, attributes and column
// types a test chooses, recording every call the generator makes.
#pragma once

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "SyntheticProvider.h"

namespace synth {

// What a test changes in the model it is served, and what the provider was asked.
inline constexpr const char* kShapedFormat = "SHAPED";
inline constexpr int64_t kRoots = -1;       // the key of Shape::children listing the roots
inline constexpr int64_t kNullHandle = -1;  // a child given as a null handle

struct Shape {
  HRESULT inputFile = S_OK;  // SetInputFile's answer
  std::string formatUsage{kFormatUsage};
  std::string filterId{kFilterId};
  std::vector<int> columns;  // indices into kColumns as listed; all when empty
  std::string columnSuffix;  // appended to the listed columns' names
  std::map<int64_t, std::vector<int64_t>> children;  // an entity not listed has none
  std::map<uint64_t, std::vector<std::pair<std::string, std::string>>> data;
  std::map<uint64_t, std::map<std::string, std::string>> attributes;
  std::map<std::string, std::vector<int32_t>> types;  // in turn, the last one repeating
  std::set<uint64_t> withoutUid;
  // "Method(entity,argument)"; a cell request ends in ",mode)" when given a mode.
  std::vector<std::string> calls;

  size_t Count(std::string_view prefix) const {
    return static_cast<size_t>(std::count_if(calls.begin(), calls.end(), [&](const std::string& c) {
      return c.compare(0, prefix.size(), prefix) == 0;
    }));
  }
};
// The shape providers created from now on serve (null: the plain tree of one root).
inline Shape* g_shape = nullptr;

class ShapedProvider : public SyntheticProvider {
 public:
  static const QORMetaClass* MetaObject() {
    static std::atomic<const QORMetaClass*> slot{nullptr};
    return ComponentMeta(slot, "ShapedProvider", sizeof(ShapedProvider));
  }
  const QORMetaClass* GetMetaObject() const override { return MetaObject(); }

  HRESULT SetInputFile(QORUnicodeString path) {
    Record("SetInputFile", path.View());
    return S().inputFile;
  }
  HRESULT GetFilterID(QORUnicodeString& id) {
    Record("GetFilterID", "");
    id.Str() = S().filterId;
    return S_OK;
  }
  HRESULT GetFormatUsage(QORUnicodeString& usage) {
    Record("GetFormatUsage", "");
    usage.Str() = S().formatUsage;
    return S_OK;
  }
  HRESULT GetColumns(QORListValQORUnicodeString& columns) {
    Record("GetColumns", "");
    if (S().columns.empty()) return SyntheticProvider::GetColumns(columns);
    for (int c : S().columns)
      columns.Append(QORUnicodeString(std::string(kColumns[c].name) + S().columnSuffix));
    return S_OK;
  }
  HRESULT GetColumnDescription(QORUnicodeString column, QORUnicodeString& text, int32_t& type,
                               QORListValQORUnicodeString& values) {
    Record("GetColumnDescription", column.View());
    Unsuffix(column);
    const HRESULT hr = SyntheticProvider::GetColumnDescription(column, text, type, values);
    if (auto it = S().types.find(column.Str()); it != S().types.end()) {
      const size_t asked = S().Count("GetColumnDescription(" + column.Str() + ")") - 1;
      type = it->second[std::min(asked, it->second.size() - 1)];
    }
    return hr;
  }
  HRESULT GetRoots(QORRawCollPV& roots) {
    Record("GetRoots", "");
    return Children(kRoots, roots);
  }
  HRESULT GetEntityLabel(void* entity, QORUnicodeString& label, QORListValQORUnicodeString& uids,
                         bool& isNLS) {
    Record("GetEntityLabel", "", entity);
    const HRESULT hr = SyntheticProvider::GetEntityLabel(entity, label, uids, isNLS);
    if (entity && S().withoutUid.count(Index(entity))) uids.RemoveAll();
    return hr;
  }
  HRESULT GetEntityData(void* entity, QORListValQORUnicodeString& keys,
                        QORListValQORUnicodeString& values) {
    Record("GetEntityData", "", entity);
    auto it = entity ? S().data.find(Index(entity)) : S().data.end();
    if (it == S().data.end()) return SyntheticProvider::GetEntityData(entity, keys, values);
    for (const auto& [key, value] : it->second) {
      keys.Append(QORUnicodeString(key));
      values.Append(QORUnicodeString(value));
    }
    return S_OK;
  }
  HRESULT GetChildren(void* entity, QORRawCollPV& children) {
    Record("GetChildren", "", entity);
    return entity ? Children(static_cast<int64_t>(Index(entity)), children) : E_INVALIDARG;
  }
  HRESULT GetEntityValue(void* entity, QORUnicodeString column, QORUnicodeString& value,
                         bool& isNLS, const QORUnicodeString* mode) {
    Record("GetEntityValue", mode ? column.Str() + "," + mode->Str() : column.Str(), entity);
    Unsuffix(column);
    return SyntheticProvider::GetEntityValue(entity, column, value, isNLS, mode);
  }
  HRESULT GetEntityAttribute(void* entity, QORUnicodeString name, QORUnicodeString& value) {
    Record("GetEntityAttribute", name.View(), entity);
    auto it = entity ? S().attributes.find(Index(entity)) : S().attributes.end();
    if (it == S().attributes.end())
      return SyntheticProvider::GetEntityAttribute(entity, name, value);
    if (auto found = it->second.find(name.Str()); found != it->second.end())
      value.Str() = found->second;
    return S_OK;
  }

 private:
  static Shape& S() {
    static Shape plain = [] {
      Shape one;
      one.children[kRoots] = {0};
      return one;
    }();
    return g_shape ? *g_shape : plain;
  }
  static void Unsuffix(QORUnicodeString& column) {
    const std::string& suffix = S().columnSuffix;
    if (!suffix.empty() && column.View().ends_with(suffix))
      column.Str().resize(column.Str().size() - suffix.size());
  }
  static void Record(std::string_view method, std::string_view argument) {
    S().calls.push_back(std::string(method) + "(" + std::string(argument) + ")");
  }
  // The entity as its index, or "null".
  static void Record(std::string_view method, std::string_view argument, void* entity) {
    std::string call =
        std::string(method) + "(" + (entity ? std::to_string(Index(entity)) : std::string("null"));
    if (!argument.empty()) call += "," + std::string(argument);
    S().calls.push_back(call + ")");
  }
  static HRESULT Children(int64_t parent, QORRawCollPV& out) {
    if (auto it = S().children.find(parent); it != S().children.end())
      for (int64_t child : it->second)
        out.Append(child == kNullHandle ? nullptr : Handle(static_cast<uint64_t>(child)));
    return S_OK;
  }
};

typedef QORInputFilterStructureTie<ShapedProvider> TIEQORIInputFilterStructureShapedProvider;

inline QORBaseUnknown* CreateShapedProvider() {
  return new ShapedProvider();
}

inline void RegisterShapedProvider() {
  static std::once_flag once;
  std::call_once(once, [] {
    QORFillDictionary::RegisterFunctionCreation("INPUT_SHAPED_FILTER", &CreateShapedProvider);
    QORFillDictionary::Register(ShapedProvider::MetaObject(),
                                QORIInputFilterStructure::MetaObject(),
                                &TIEQORIInputFilterStructureShapedProvider::Create, nullptr, 1);
  });
}

}  // namespace synth
