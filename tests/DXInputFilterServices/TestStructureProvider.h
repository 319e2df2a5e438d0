// TestStructureProvider.h - a structure provider the tests configure entity by entity,
// registered the way a format's provider is ("INPUT_" + format + "_FILTER"), plus a few
// broken providers. Every call the generator makes is recorded with its arguments so
// that tests can check what was asked, in which order, with which import mode.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ObjectModelRuntime/QORTypes.h"

namespace dxtest {

// Formats served by the providers below.
inline constexpr const char* kTestFormat = "DXTEST";
// The same provider under a mixed-case format name.
inline constexpr const char* kMixedCaseFormat = "DxTestMixed";
// Its QueryInterface answers S_OK and no object.
inline constexpr const char* kNullObjectFormat = "DXTEST_NULLOBJECT";
// A component without the structure interface.
inline constexpr const char* kNoInterfaceFormat = "DXTEST_NOINTERFACE";
// The creation function gives nothing.
inline constexpr const char* kNoCreationFormat = "DXTEST_NOCREATION";

struct TestEntity {
  std::string name;  // names the entity in call records only
  std::string label;
  bool labelIsNLS = false;
  std::vector<std::string> uids;
  // Cell values by column name: text and whether it is an NLS key.
  std::map<std::string, std::pair<std::string, bool>> values;
  std::vector<std::pair<std::string, std::string>> data;
  std::map<std::string, std::string> attributes;
  std::vector<TestEntity*> children;  // null entries stand for null handles
};

struct TestColumn {
  std::string text;
  int32_t type = 0;
  std::vector<std::string> possibleValues;
};

struct ProviderCall {
  std::string method;
  const TestEntity* entity = nullptr;
  std::string argument;             // column, attribute name or path
  std::optional<std::string> mode;  // GetEntityValue only: the mode, none for null
};

class TestProviderModel {
 public:
  HRESULT setInputFileResult = S_OK;
  std::string filterId = "F-1";
  std::string formatUsage = "TestUsage";
  std::vector<std::string> columnNames;       // entry 1 is the tree column
  std::map<std::string, TestColumn> columns;  // descriptions by name, "tree" included
  std::vector<TestEntity*> roots;
  // Successive descriptions of a column answer these types in turn (the last repeats).
  std::map<std::string, std::vector<int32_t>> typeSequence;
  // GetEntityValue of this column answers the import mode it was given.
  std::string modeEchoColumn;
  std::vector<ProviderCall> calls;

  TestEntity* Add(const std::string& name, const std::string& label,
                  std::vector<std::string> uids = {}) {
    _entities.push_back(std::make_unique<TestEntity>());
    *_entities.back() = TestEntity{name, label, false, std::move(uids), {}, {}, {}, {}};
    return _entities.back().get();
  }
  void AddColumn(const std::string& name, const std::string& text, int32_t type,
                 std::vector<std::string> possibleValues = {}) {
    columnNames.push_back(name);
    columns[name] = TestColumn{text, type, std::move(possibleValues)};
  }

  // Calls of one method, in order.
  std::vector<ProviderCall> CallsOf(const std::string& method) const;
  // "Method(entity,argument)" for the calls of the given methods, in order.
  std::vector<std::string> Trace(const std::vector<std::string>& methods) const;
  size_t CountOf(const std::string& method, const std::string& argument) const;

 private:
  std::vector<std::unique_ptr<TestEntity>> _entities;
};

// The model that providers created from now on serve (null: an empty model).
void SetProviderModel(TestProviderModel* model);
// Registers every test provider in the process-wide dictionary (once).
void RegisterTestProviders();
// Providers alive right now (they must all be gone once a generation returns).
int LiveProviders();

}  // namespace dxtest
