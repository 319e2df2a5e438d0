// IfcModel.h - an IFC file opened as a tree of entities (project, site, building, ...).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "IfcNode.h"
#include "IfcPropertyIndex.h"
#include "IfcStepNames.h"

namespace ifc {

class TreeBuilder;

enum class SchemaVersion : uint8_t { Unknown, Ifc2x3, Ifc4, Ifc4x3 };

// Attributes beyond the node's own fields; all but Description are read from the file when
// asked for.
enum class NodeAttribute : uint8_t {
  Description,  // IfcRoot.Description
  ObjectType,   // IfcObject.ObjectType
  LongName,     // spatial elements and projects
  Tag,          // IfcElement.Tag
};

// Usage:
//   ifc::Model model;
//   std::string error;
//   if (!model.Open(path, error)) { report(error); return; }
//   for (const ifc::Node* root : model.Roots()) walk(root->Children()) ...
//
// The tree:
//  - IfcRelAggregates (RelatingObject -> RelatedObjects) gives the spatial breakdown
//    (project -> site -> building -> storey -> space) and the parts of a whole (a stair
//    into flights, a roof into slabs). IfcRelContainedInSpatialStructure (RelatingStructure
//    -> RelatedElements) puts elements under their storey, space or site. Other
//    relationships (nesting, voids, fills, references) are not followed. The attribute
//    positions used are the same in IFC2X3, IFC4 and IFC4X3.
//  - Every entity appears once. When several relationships claim it, aggregation wins over
//    containment, then the first in the file. A loop in the decomposition is cut at one
//    link, and the entity cut loose is treated as belonging to nothing. References to
//    missing instances are skipped.
//  - Roots: the projects (IfcProject, IfcProjectLibrary), then spatial entities that belong
//    to nothing, then, only when needed, a synthetic group "Unplaced elements" (IsSynthetic)
//    holding the elements that are in no spatial structure (known IfcElement subtypes,
//    openings and other features excepted) in file order, with their parts below them.
//    Entities of unknown types appear only when a relationship places them.
//  - Children order: spatial before the rest; among them, entities with an elevation first,
//    lowest first; then by type name, then by name (digits compared as numbers, case
//    ignored, unnamed last), then by position in the file.
//  - Type names: a table of the common IFC entities gives the usual capitalisation
//    ("IFCBUILDINGSTOREY" -> "IfcBuildingStorey"); others are derived ("IfcFoobar").
//
// The file stays mapped while the model is open (attributes are decoded on request), but its
// pages are handed back to the kernel as they are read, and the instance index is dropped
// once the tree is built: what stays resident is the tree and its decoded text. Descriptions
// are decoded with the tree: a filter shows one for every entity, and reading them later
// would map most of the file back in. A large file is indexed by two threads, and the cells of
// the columns are made on a second thread while the tree is laid out. The model is
// not copyable or movable, so node pointers stay valid until Close() or the next Open(). Const
// calls are safe to make from several threads.
class Model {
 public:
  Model() = default;
  Model(const Model&) = delete;
  Model& operator=(const Model&) = delete;

  // Reads the whole tree. On failure returns false, leaves the model empty and sets a
  // one-line message (missing file, not STEP, not IFC2X3/IFC4/IFC4X3, truncated, ...).
  // The values of the columns named are gathered on the way (see IfcPropertyIndex.h).
  bool Open(const std::string& path, std::string& error, std::span<const std::string> columns = {});
  // Same from memory the caller owns; the bytes must outlive the model.
  bool OpenBuffer(std::string_view bytes, std::string& error,
                  std::span<const std::string> columns = {});
  void Close();

  std::span<const Node* const> Roots() const { return {_pRoots, _rootCount}; }
  std::size_t NodeCount() const { return _nodes.size(); }

  const FileHeader& Header() const { return _file.Header(); }
  // First FILE_SCHEMA identifier, upper-cased, e.g. "IFC4" or "IFC4X3_ADD2".
  const std::string& SchemaName() const { return _file.Schema(); }
  SchemaVersion Schema() const { return _schema; }
  // Records that reuse an earlier instance number; references reach the first.
  std::size_t DuplicateInstances() const { return _file.DuplicateIds(); }

  // The columns asked for when opening, with their values; null when none was asked.
  const PropertyIndex* Properties() const { return _pProperties.get(); }
  // The cell of a node in one of those columns (an index into Properties()->Columns());
  // empty when it has none. The generator asks for every cell of every node: this is a
  // table look-up, not a search, made here so that it inlines into the caller.
  std::string_view Value(std::size_t column, const Node& node) const {
    if (!_pProperties || node.IsSynthetic()) return {};
    const std::size_t columns = _pProperties->Columns().size();
    if (column >= columns) return {};
    if (_nodeCells.empty()) return _pProperties->Value(column, node._instance);
    const auto index = static_cast<std::size_t>(&node - _nodes.data());
    return _pProperties->Text(_nodeCells[index * columns + column]);
  }

  // IfcRoot.Description, decoded with the tree; empty for the synthetic group.
  std::string_view Description(const Node& node) const {
    return node.IsSynthetic() ? std::string_view()
                              : _descriptions[static_cast<std::size_t>(&node - _nodes.data())];
  }
  // A new string on every call; empty when unset or not applicable to the node's type.
  std::string Attribute(const Node& node, NodeAttribute which) const;

  // Classifies a FILE_SCHEMA identifier; Unknown for anything but the IFC schemas above.
  static SchemaVersion ClassifySchema(std::string_view upperSchema);

 private:
  // Close, index the file with `index`, build the tree and, with columns, the cells.
  bool Load(std::span<const std::string> columns, std::string& error,
            const std::function<bool(const StepIndexOptions&)>& index);
  // Starts the property index's Build on `cells` once the file's index is released.
  bool Build(TreeBuilder& builder, std::string& error, std::future<void>& cells);
  StepRecordSink& SinkFor(TreeBuilder& builder, std::span<const std::string> columns);
  // The cells by node; `byInstance` holds (instance, node index) pairs, sorted.
  void IndexCells(std::span<const uint64_t> byInstance);

  StepFile _file;
  SchemaVersion _schema = SchemaVersion::Unknown;
  // The large tables take whole 2 MiB pages (Table): first touches of small pages cost more.
  Table<Node> _nodes;
  Table<const Node*> _links;              // every child list, then the roots
  std::vector<std::string> _texts;        // decoded names, ids, descriptions and derived type names
  Table<std::string_view> _descriptions;  // by node
  const Node* const* _pRoots = nullptr;
  std::size_t _rootCount = 0;
  std::unique_ptr<PropertyIndex> _pProperties;
  // Node-major: each chosen column's cell text (PropertyIndex::Text) for each node. Left
  // empty when there are too many columns for one (discovery); Value searches then.
  Table<uint32_t> _nodeCells;
};

}  // namespace ifc
