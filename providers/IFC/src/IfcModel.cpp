#include "IfcModel.h"

#include <algorithm>
#include <future>
#include <system_error>

#include "IfcStepNames.h"
#include "IfcTreeBuilder.h"
#include "IfcTypeCatalog.h"

namespace ifc {

namespace {

constexpr std::size_t kObjectTypeIndex = 4;
constexpr std::size_t kContextLongNameIndex = 5;  // IfcProject (IfcContext in IFC4)
constexpr std::size_t kSpatialLongNameIndex = 7;
constexpr std::size_t kTagIndex = 7;
// Cells of the node table at most (16 MiB).
constexpr std::size_t kNodeCellLimit = std::size_t{4} << 20;

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

}  // namespace

SchemaVersion Model::ClassifySchema(std::string_view upper) {
  // Addenda and corrigenda carry suffixes ("IFC4_ADD2_TC1", "IFC4X3_ADD2"); IFC4X1 and
  // IFC4X2 extend IFC4 without moving the attributes read here.
  if (StartsWith(upper, "IFC2X3")) return SchemaVersion::Ifc2x3;
  if (StartsWith(upper, "IFC4X3")) return SchemaVersion::Ifc4x3;
  if (upper == "IFC4" || StartsWith(upper, "IFC4_") || StartsWith(upper, "IFC4X1") ||
      StartsWith(upper, "IFC4X2")) {
    return SchemaVersion::Ifc4;
  }
  return SchemaVersion::Unknown;
}

void Model::Close() {
  _pRoots = nullptr;
  _rootCount = 0;
  decltype(_links)().swap(_links);
  decltype(_nodes)().swap(_nodes);
  std::vector<std::string>().swap(_texts);
  decltype(_descriptions)().swap(_descriptions);
  decltype(_nodeCells)().swap(_nodeCells);
  _schema = SchemaVersion::Unknown;
  _pProperties.reset();
  _file = StepFile();
}

StepRecordSink& Model::SinkFor(TreeBuilder& builder, std::span<const std::string> columns) {
  if (columns.empty()) return builder;
  // The index takes the records of the columns and hands the tree its own.
  _pProperties = std::make_unique<PropertyIndex>(_file, builder, columns);
  return *_pProperties;
}

bool Model::Open(const std::string& path, std::string& error,
                 std::span<const std::string> columns) {
  return Load(columns, error,
              [&](const StepIndexOptions& options) { return _file.Open(path, error, options); });
}

bool Model::OpenBuffer(std::string_view bytes, std::string& error,
                       std::span<const std::string> columns) {
  return Load(columns, error, [&](const StepIndexOptions& options) {
    return _file.OpenBuffer(bytes, error, options);
  });
}

bool Model::Load(std::span<const std::string> columns, std::string& error,
                 const std::function<bool(const StepIndexOptions&)>& index) {
  Close();
  Table<uint64_t> byInstance;  // whole huge pages: see Table
  {
    // The property index makes its cells on a second thread while the tree is laid out. A
    // future of std::async waits for its thread when it goes, on every way out of this block.
    std::future<void> cells;
    bool built = false;
    {
      // The builder takes what the tree needs while the file is indexed. Its tables take
      // huge pages unless every column is asked for: the property index then takes every
      // value, its peak is the higher one, and part-filled huge pages would add to it.
      const bool discovery =
          std::find(columns.begin(), columns.end(), PropertyIndex::kEveryColumn) != columns.end();
      TreeBuilder builder(_file, !discovery);
      StepIndexOptions options;
      options.sink = &SinkFor(builder, columns);
      built = index(options) && Build(builder, error, cells);
    }  // the builder's work goes before the cells' tables grow
    if (!built) {
      if (cells.valid()) cells.wait();
      Close();
      return false;
    }
    // While the cells are being made: (instance, node) by instance, to walk beside each
    // column's cells. Nodes mostly follow the file, where instances mostly go up.
    if (_pProperties) {
      byInstance.reserve(_nodes.size());
      for (std::size_t i = 0; i < _nodes.size(); ++i) {
        if (!_nodes[i].IsSynthetic())
          byInstance.push_back((uint64_t{_nodes[i]._instance} << 32) | i);
      }
      if (!std::is_sorted(byInstance.begin(), byInstance.end()))
        std::sort(byInstance.begin(), byInstance.end());
    }
    if (cells.valid()) cells.get();  // what the thread threw goes on from here
  }
  if (_pProperties) IndexCells(byInstance);
  return true;
}

void Model::IndexCells(std::span<const uint64_t> byInstance) {
  const std::size_t columns = _pProperties->Columns().size();
  if (columns == 0 || columns * _nodes.size() > kNodeCellLimit) return;
  _nodeCells.assign(columns * _nodes.size(), 0);
  for (std::size_t c = 0; c < columns; ++c) {
    const auto cells = _pProperties->Cells(c);
    auto cell = cells.begin();
    for (const uint64_t pair : byInstance) {
      const auto instance = static_cast<uint32_t>(pair >> 32);
      while (cell != cells.end() && cell->instance < instance) ++cell;
      if (cell == cells.end()) break;
      if (cell->instance == instance)
        _nodeCells[static_cast<uint32_t>(pair) * columns + c] = cell->text;
    }
  }
}

bool Model::Build(TreeBuilder& builder, std::string& error, std::future<void>& cells) {
  if (_file.Schema().empty()) {
    error = "not an IFC file: the header has no FILE_SCHEMA";
    return false;
  }
  _schema = ClassifySchema(_file.Schema());
  if (_schema == SchemaVersion::Unknown) {
    error = "unsupported schema '" + _file.Schema() + "' (expected IFC2X3, IFC4 or IFC4X3)";
    return false;
  }
  if (_pProperties) _pProperties->Indexed();
  builder.Build({_nodes, _links, _texts, _descriptions, _pRoots, _rootCount}, [&] {
    if (_pProperties) _pProperties->Resolve();
    _file.ReleaseIndex();
    if (!_pProperties) return;
    // Not earlier: beside the file's index, the cells' tables would raise the peak. From
    // here on the property index reads what it took and the schema name, never the file.
    PropertyIndex& properties = *_pProperties;
    try {
      cells = std::async(std::launch::async, [&properties] { properties.Build(); });
    } catch (const std::system_error&) {
      properties.Build();  // no thread to be had: the same work, here
    }
  });
  // The tree holds what it shows; attributes asked for later map their page back in.
  _file.DropResident(0, _file.Bytes().size());
  return true;
}

std::string Model::Attribute(const Node& node, NodeAttribute which) const {
  if (node.IsSynthetic() || (node._flags & Node::kComplexFlag) != 0) return {};
  std::size_t index = 0;
  switch (which) {
    case NodeAttribute::Description:
      return std::string(_descriptions[static_cast<std::size_t>(&node - _nodes.data())]);
    case NodeAttribute::ObjectType:
      index = kObjectTypeIndex;
      break;
    case NodeAttribute::LongName:
      if ((node._roles & TypeCatalog::kSpatial) != 0) {
        index = kSpatialLongNameIndex;
      } else if ((node._roles & TypeCatalog::kContext) != 0) {
        index = kContextLongNameIndex;
      } else {
        return {};
      }
      break;
    case NodeAttribute::Tag:
      if ((node._roles & (TypeCatalog::kElement | TypeCatalog::kFeature)) == 0) return {};
      index = kTagIndex;
      break;
  }
  StepParameters params;
  params.Parse(_file.Body(node._recordOffset, node._recordLength), index);
  return params.DecodedString(index);
}

}  // namespace ifc
