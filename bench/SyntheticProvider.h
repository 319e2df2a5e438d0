// SyntheticProvider.h - what the filter benchmarks share: a structure provider that
// makes its model up on the fly (nothing per entity is stored, so the provider weighs
// nothing against the peak memory of a case), registered from the benchmark program
// as "INPUT_SYNTH_FILTER". The measuring of cases in forked children is BenchProcess.h's.
//
// The model: entity i (0 is the root) has the children 8i+1 .. 8i+8 below the entity
// count; its label, uid, cells and attributes are functions of i. Columns cover the
// type codes 0 to 8 and one unknown code; half of the cells are NLS; one column echoes
// the import mode the generator decided, so the decision shows in the document.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "BenchProcess.h"
#include "InputFilteringInterfaces/QORIInputFilterGenerator.h"
#include "InputFilteringInterfaces/QORIInputFilterStructure.h"
#include "InputFilteringInterfaces/QORInputFilterStructureTie.h"
#include "ObjectModelRuntime/QORFillDictionary.h"
#include "ObjectModelRuntime/QORTie.h"

namespace synth {

inline constexpr const char* kFormat = "SYNTH";
inline constexpr const char* kLateType = "INPUT_SYNTH_FILTER";
inline constexpr const char* kFilterId = "SYNTH-FILTER-0001";
inline constexpr const char* kFormatUsage = "SynthImport";
inline constexpr uint32_t kFanOut = 8;

// What the generator is given, and the "settings" member as the document holds it
// (compact, members in order).
inline constexpr const char* kSettingsText =
    "{\"format\": \"SynthImport\",\n \"settings\": {\"defaultProfile\": \"ForDesign\", "
    "\"units\": \"mm\", \"levels\": [1, 2, 3], \"mergeStoreys\": false}}";
inline constexpr std::string_view kSettingsCompact =
    "{\"defaultProfile\":\"ForDesign\",\"units\":\"mm\",\"levels\":[1,2,3],\"mergeStoreys\":false}";

struct Column {
  std::string_view name;
  std::string_view text;
  int32_t type;
};
// Entry 0 stands for the tree column, which the generator describes as "tree".
inline constexpr Column kColumns[] = {
    {"tree", "Model structure", QORDXColumnType::kReadOnlyText},
    {"Name", "Name", QORDXColumnType::kReadOnlyText},
    {"Visible", "Visible", QORDXColumnType::kBoolean},
    {"Discipline", "Discipline", QORDXColumnType::kEnumeration},
    {"Description", "Description", QORDXColumnType::kText},
    {"Count", "Count", QORDXColumnType::kNumber},
    {"Length", "Length", QORDXColumnType::kOtherNumber},
    {"Modified", "Last modified", QORDXColumnType::kDate},
    {"Color", "Colour", QORDXColumnType::kColor},
    {"Status", "Status", QORDXColumnType::kRuntime},
    {"ImportMode", "Import mode", 42},  // a code the generator does not know
};
inline constexpr int kColumnCount = sizeof(kColumns) / sizeof(kColumns[0]);
inline constexpr std::string_view kDisciplines[] = {"Architecture", "Structure",
                                                    "Building services"};

inline constexpr std::string_view kEntityNames[16] = {"IfcWall",
                                                      "IfcSlab",
                                                      "IfcBeam",
                                                      "IfcColumn",
                                                      "IfcDoor",
                                                      "IfcWindow",
                                                      "IfcSpace",
                                                      "IfcOpeningElement",
                                                      "IfcPipeSegment",
                                                      "IfcDuctSegment",
                                                      "IfcFurnishingElement",
                                                      "IfcRailing",
                                                      "IfcStair",
                                                      "IfcCovering",
                                                      "IfcMember",
                                                      "IfcPlate"};

// The entity list given to the generator (kind 0, left out of the import): 1,000
// names, two of which the model uses.
inline std::vector<std::string> RemovalNames() {
  std::vector<std::string> names = {"IfcSpace", "IfcOpeningElement"};
  char buffer[32];
  for (int i = 0; names.size() < 1000; ++i) {
    std::snprintf(buffer, sizeof(buffer), "IfcExcludedType%04d", i);
    names.emplace_back(buffer);
  }
  return names;
}

inline uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

inline void* Handle(uint64_t i) {
  return reinterpret_cast<void*>(static_cast<uintptr_t>(i + 1));
}
inline uint64_t Index(void* handle) {
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle)) - 1;
}

inline std::string_view EntityName(uint64_t i) {
  return kEntityNames[Mix(i) & 15];
}
inline bool IsLatest(uint64_t i) {
  return (Mix(i) >> 8) % 3 != 0;
}
inline bool LabelIsNLS(uint64_t i) {
  return i % 16 == 0;
}

// 22 characters of the IFC base64 alphabet. Mix is a bijection, so the first 64 bits
// alone make every uid distinct.
inline constexpr char kBase64[] =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_$";
inline void Uid(uint64_t i, char out[22]) {
  uint64_t a = Mix(i), b = Mix(i ^ 0x5DEECE66DULL);
  out[0] = kBase64[a & 3];
  a >>= 2;
  for (int k = 1; k <= 10; ++k, a >>= 6) out[k] = kBase64[a & 63];
  out[11] = kBase64[(a & 3) | ((b & 15) << 2)];
  b >>= 4;
  for (int k = 12; k < 22; ++k, b >>= 6) out[k] = kBase64[b & 63];
}
inline std::string UidString(uint64_t i) {
  char uid[22];
  Uid(i, uid);
  return std::string(uid, 22);
}

// Small text composition without allocation.
struct Text {
  char data[96];
  size_t size = 0;
  Text& operator<<(std::string_view s) {
    // An empty view may carry a null pointer, which memcpy must not get; a long one is cut.
    const size_t n = std::min(s.size(), sizeof(data) - size);
    if (n) std::memcpy(data + size, s.data(), n);
    size += n;
    return *this;
  }
  Text& operator<<(uint64_t n) {
    size = static_cast<size_t>(std::to_chars(data + size, data + sizeof(data), n).ptr - data);
    return *this;
  }
  std::string_view View() const { return {data, size}; }
};

inline void Label(uint64_t i, Text& t) {
  if (LabelIsNLS(i)) {
    t << "LBL_" << EntityName(i) << "_" << i;
  } else {
    t << EntityName(i) << " " << i;
  }
}

// The import mode the generator decides for entity i with the benchmark's settings.
inline std::string_view ExpectedMode(uint64_t i) {
  const std::string_view name = EntityName(i);
  if (name == "IfcSpace" || name == "IfcOpeningElement") return QORDXImportMode::kNoImport;
  return IsLatest(i) ? QORDXImportMode::kForDesign : "";
}

inline bool CellIsNLS(uint64_t i, int column) {
  return ((i + static_cast<uint64_t>(column)) & 1) == 0;
}

// The value of column c (1 .. kColumnCount-1) for entity i; mode as the generator gave it.
inline void Cell(uint64_t i, int column, std::string_view mode, Text& t) {
  switch (column) {
    case 1:
      t << "Element " << i;
      break;
    case 2:
      t << (i % 5 ? "true" : "false");
      break;
    case 3:
      t << kDisciplines[i % 3];
      break;
    case 4:
      if (i % 7 == 0) break;  // no description: the generator leaves the cell out
      if (i % 50 == 1) {
        t << "Sleeve 2\" at C:\\Pipes\\Main";
      } else if (i % 10 == 3) {
        t << "Mur ext\xC3\xA9rieur porteur";
      } else {
        t << "Generated element of the synthetic model";
      }
      break;
    case 5:
      t << (i % 1000);
      break;
    case 6:
      t << (i % 10000) << ".5";
      break;
    case 7: {
      const uint64_t month = 1 + i % 12, day = 1 + i % 28;
      t << "2024-" << (month < 10 ? "0" : "") << month << "-" << (day < 10 ? "0" : "") << day;
      break;
    }
    case 8: {
      static constexpr char kHex[] = "0123456789ABCDEF";
      const uint64_t rgb = Mix(i) >> 40;
      char colour[7] = {'#'};
      for (int k = 0; k < 6; ++k) colour[1 + k] = kHex[(rgb >> (20 - 4 * k)) & 15];
      t << std::string_view(colour, 7);
      break;
    }
    case 9:
      t << "Pending";
      break;  // runtime: never asked by the generator
    case 10:
      t << mode;
      break;
    default:
      break;
  }
}

inline void EntityData(uint64_t i, Text& type, Text& line) {
  type << EntityName(i);
  line << (100 + 7 * i);
}

inline int ColumnIndex(std::string_view name) {
  for (int c = 0; c < kColumnCount; ++c)
    if (kColumns[c].name.size() == name.size() && kColumns[c].name == name) return c;
  return -1;
}

// Entities served by providers created from now on.
inline std::atomic<uint64_t> g_entityCount{1000};

inline const QORMetaClass* ComponentMeta(std::atomic<const QORMetaClass*>& slot, const char* name,
                                         size_t size) {
  return zqy::internal::LazyComponentMetaObject(slot, name, &QORBaseUnknown::MetaObject,
                                                "DXInputFilterBenchmarks", size);
}

class SyntheticProvider : public QORBaseUnknown {
 public:
  SyntheticProvider() : _count(g_entityCount.load()) {}

  static const QORMetaClass* MetaObject() {
    static std::atomic<const QORMetaClass*> slot{nullptr};
    return ComponentMeta(slot, "SyntheticProvider", sizeof(SyntheticProvider));
  }
  const QORMetaClass* GetMetaObject() const override { return MetaObject(); }

  HRESULT SetInputFile(QORUnicodeString) { return S_OK; }
  HRESULT GetFilterID(QORUnicodeString& id) {
    id = kFilterId;
    return S_OK;
  }
  HRESULT GetFormatUsage(QORUnicodeString& usage) {
    usage = kFormatUsage;
    return S_OK;
  }
  HRESULT GetColumns(QORListValQORUnicodeString& columns) {
    columns.Reserve(kColumnCount);
    for (const Column& column : kColumns) columns.Append(QORUnicodeString(column.name));
    return S_OK;
  }
  HRESULT GetColumnDescription(QORUnicodeString column, QORUnicodeString& text, int32_t& type,
                               QORListValQORUnicodeString& values) {
    const int c = ColumnIndex(column.View());
    if (c < 0) return E_FAIL;
    text.Str().assign(kColumns[c].text);
    type = kColumns[c].type;
    if (type == 2)
      for (std::string_view value : kDisciplines) values.Append(QORUnicodeString(value));
    return S_OK;
  }
  HRESULT GetRoots(QORRawCollPV& roots) {
    if (_count > 0) roots.Append(Handle(0));
    return S_OK;
  }
  HRESULT GetEntityLabel(void* entity, QORUnicodeString& label, QORListValQORUnicodeString& uids,
                         bool& isNLS) {
    if (!entity) return E_INVALIDARG;
    const uint64_t i = Index(entity);
    Text t;
    Label(i, t);
    label.Str().assign(t.View());
    char uid[22];
    Uid(i, uid);
    uids.Append(QORUnicodeString(uid, 22));
    isNLS = LabelIsNLS(i);
    return S_OK;
  }
  HRESULT GetEntityData(void* entity, QORListValQORUnicodeString& keys,
                        QORListValQORUnicodeString& values) {
    if (!entity) return E_INVALIDARG;
    Text type, line;
    EntityData(Index(entity), type, line);
    keys.Append(QORUnicodeString("entityType"));
    values.Append(QORUnicodeString(type.View()));
    keys.Append(QORUnicodeString("sourceLine"));
    values.Append(QORUnicodeString(line.View()));
    return S_OK;
  }
  HRESULT GetChildren(void* entity, QORRawCollPV& children) {
    if (!entity) return E_INVALIDARG;
    const uint64_t first = Index(entity) * kFanOut + 1;
    for (uint64_t child = first; child < first + kFanOut && child < _count; ++child)
      children.Append(Handle(child));
    return S_OK;
  }
  HRESULT GetEntityValue(void* entity, QORUnicodeString column, QORUnicodeString& value,
                         bool& isNLS, const QORUnicodeString* mode) {
    if (!entity) return E_INVALIDARG;
    const int c = ColumnIndex(column.View());
    if (c <= 0) return E_FAIL;
    const uint64_t i = Index(entity);
    Text t;
    Cell(i, c, mode ? mode->View() : std::string_view(), t);
    value.Str().assign(t.View());
    isNLS = CellIsNLS(i, c);
    return S_OK;
  }
  HRESULT GetEntityAttribute(void* entity, QORUnicodeString name, QORUnicodeString& value) {
    if (!entity) return E_INVALIDARG;
    const uint64_t i = Index(entity);
    if (name.View() == QORDXEntityAttribute::kEntityName) {
      value.Str().assign(EntityName(i));
    } else if (name.View() == QORDXEntityAttribute::kIsLatestSpatialEntity) {
      value = IsLatest(i) ? "true" : "false";
    }
    return S_OK;
  }

 private:
  uint64_t _count;
};

typedef QORInputFilterStructureTie<SyntheticProvider> TIEQORIInputFilterStructureSyntheticProvider;

inline QORBaseUnknown* CreateSyntheticProvider() {
  return new SyntheticProvider();
}

inline void RegisterProvider() {
  static std::once_flag once;
  std::call_once(once, [] {
    QORFillDictionary::RegisterFunctionCreation(kLateType, &CreateSyntheticProvider);
    QORFillDictionary::Register(SyntheticProvider::MetaObject(),
                                QORIInputFilterStructure::MetaObject(),
                                &TIEQORIInputFilterStructureSyntheticProvider::Create, nullptr, 1);
  });
}

}  // namespace synth
