#include "IfcTreeBuilder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "IfcFlatParams.h"
#include "IfcTypeCatalog.h"
#include "MappedFile.h"
#include "StepLexer.h"
#include "StepParameters.h"
#include "StepString.h"

namespace ifc {

namespace {

// IfcRoot: GlobalId, OwnerHistory, Name, Description; IfcBuildingStorey.Elevation is 9th.
constexpr std::size_t kGlobalIdIndex = 0;
constexpr std::size_t kNameIndex = 2;
constexpr std::size_t kDescriptionIndex = 3;
constexpr std::size_t kElevationIndex = 9;
// IfcRelAggregates: RelatingObject, RelatedObjects.
constexpr std::size_t kAggregatesWhole = 4;
constexpr std::size_t kAggregatesParts = 5;
// IfcRelContainedInSpatialStructure: RelatedElements, RelatingStructure.
constexpr std::size_t kContainedElements = 4;
constexpr std::size_t kContainedStructure = 5;
constexpr std::size_t kLastRelationIndex = 5;

constexpr uint8_t kRankContained = 1;
constexpr uint8_t kRankAggregated = 2;

}  // namespace

TreeBuilder::TextRef TreeBuilder::Store(std::string& text, std::string_view raw, bool decode,
                                        uint32_t arena) {
  TextRef ref;
  ref.arena = arena;
  ref.offset = text.size();
  if (decode) {
    StepString::DecodeAppend(raw, text);
  } else {
    text.append(raw);
  }
  ref.length = static_cast<uint32_t>(text.size() - ref.offset);
  return ref;
}

std::string_view TreeBuilder::TypeNameOf(uint32_t code) const {
  const TypeInfo& t = _types[code];
  return t.catalogName.empty() ? View(t.derivedName) : t.catalogName;
}

// ---- while the file is indexed -----------------------------------------------------------

uint8_t TreeBuilder::Select(std::string_view upperType) const {
  if (upperType == "IFCRELAGGREGATES") return kTagAggregates;
  if (upperType == "IFCRELCONTAINEDINSPATIALSTRUCTURE") return kTagContained;
  // Known elements, spatial entities and projects are listed even when nothing relates them.
  constexpr uint8_t kListed = TypeCatalog::kElement | TypeCatalog::kSpatial | TypeCatalog::kContext;
  const uint8_t roles = TypeCatalog::Lookup(upperType).roles;
  if ((roles & kListed) == 0 || (roles & TypeCatalog::kFeature) != 0) return 0;
  return static_cast<uint8_t>(kTagListed | ((roles & TypeCatalog::kStorey) != 0 ? kTagStorey : 0));
}

void TreeBuilder::ReadInto(const StepParameters& params, std::string& text, uint32_t arena,
                           Attributes& a, bool storey) {
  const StepValue& gid = params.Unwrap(params.At(kGlobalIdIndex));
  if (gid.kind == StepKind::String) a.globalId = Store(text, gid.text, true, arena);
  const StepValue& name = params.Unwrap(params.At(kNameIndex));
  if (name.kind == StepKind::String) a.name = Store(text, name.text, true, arena);
  const StepValue& description = params.Unwrap(params.At(kDescriptionIndex));
  if (description.kind == StepKind::String) {
    a.description = Store(text, description.text, true, arena);
  }
  if (storey) {
    const StepValue& elevation = params.Unwrap(params.At(kElevationIndex));
    if (elevation.IsNumber() && !std::isnan(elevation.AsDouble())) {
      a.hasElevation = true;
      a.elevation = elevation.AsDouble();
      a.elevationText = Store(text, elevation.text, false, arena);
    }
  }
}

void TreeBuilder::Reserve(Taken& taken) const {
  // Regrowing copies a table and touches fresh pages, a good part of opening a large file;
  // capacity never written costs no memory. Each thread reads about half the file. The
  // densities are generous for models whose elements have geometry; denser files regrow.
  const std::size_t bytes = _file.Bytes().size() / 2;
  // With huge pages, whole ones from the first byte: the heap's blocks begin in small ones.
  const ChosenPagesAllocator<char> pages(_hugeTables);
  taken.listed = decltype(taken.listed)(pages);
  taken.listed.reserve(bytes / 512 + 16);
  taken.attributes = decltype(taken.attributes)(pages);
  taken.attributes.reserve(bytes / 512 + 16);
  taken.text.reserve(bytes / 16 + 256);
  taken.relations = decltype(taken.relations)(pages);
  taken.relations.reserve(bytes / 8192 + 16);
  taken.parts = decltype(taken.parts)(pages);
  taken.parts.reserve(bytes / 512 + 16);
  if (_hugeTables) AdviseHugePages(taken.text.data(), taken.text.capacity());
}

void TreeBuilder::Take(unsigned thread, uint32_t slot, const StepEntry& entry, uint8_t tag,
                       std::string_view body) {
  if (entry.complex) return;  // neither listed nor followed; no attributes either
  Taken& taken = _taken[thread];
  if (taken.listed.capacity() == 0) Reserve(taken);
  FlatParams& flat = *taken.flat;
  if ((tag & kTagListed) != 0) {
    const bool storey = (tag & kTagStorey) != 0;
    Listed& l = taken.listed.emplace_back();
    l.slot = slot;
    l.entry = entry;
    Attributes& a = taken.attributes.emplace_back();
    constexpr uint32_t kRead = 1u << kGlobalIdIndex | 1u << kNameIndex | 1u << kDescriptionIndex;
    if (!storey && flat.Read(body, kDescriptionIndex, false, kRead)) {
      const auto& gid = flat.At(kGlobalIdIndex);
      if (gid.kind == FlatParams::kString) a.globalId = Store(taken.text, gid.text, true);
      const auto& name = flat.At(kNameIndex);
      if (name.kind == FlatParams::kString) a.name = Store(taken.text, name.text, true);
      const auto& description = flat.At(kDescriptionIndex);
      if (description.kind == FlatParams::kString) {
        a.description = Store(taken.text, description.text, true);
      }
    } else {
      taken.params.Parse(body, storey ? kElevationIndex : kDescriptionIndex);
      ReadInto(taken.params, taken.text, 0, a, storey);
    }
  }
  if ((tag & (kTagAggregates | kTagContained)) == 0) return;
  const bool aggregates = (tag & kTagAggregates) != 0;
  const std::size_t wholeIndex = aggregates ? kAggregatesWhole : kContainedStructure;
  const std::size_t partsIndex = aggregates ? kAggregatesParts : kContainedElements;
  // Numbers past 32 bits name no instance; UINT32_MAX is never found either.
  auto number = [](uint64_t id) {
    return static_cast<uint32_t>(std::min<uint64_t>(id, UINT32_MAX));
  };
  Relation r;
  r.slot = slot;
  r.rank = aggregates ? kRankAggregated : kRankContained;
  r.first = static_cast<uint32_t>(taken.parts.size());
  if (flat.Read(body, kLastRelationIndex, false, 1u << wholeIndex | 1u << partsIndex)) {
    const auto& whole = flat.At(wholeIndex);
    if (whole.kind != FlatParams::kReference) return;
    r.whole = number(whole.reference);
    const auto& parts = flat.At(partsIndex);
    if (parts.kind == FlatParams::kList) {
      for (uint32_t k = parts.first; k < parts.first + parts.count; ++k) {
        taken.parts.push_back(number(flat.refs[k]));
      }
    }
  } else {
    // A record with a syntax error still yields the values before the error.
    StepParameters& params = taken.params;
    params.Parse(body, kLastRelationIndex);
    uint64_t wholeId = 0;
    if (!params.Reference(wholeIndex, wholeId)) return;
    r.whole = number(wholeId);
    for (const StepValue& item : params.Items(params.At(partsIndex))) {
      if (item.kind == StepKind::Reference) taken.parts.push_back(number(item.reference));
    }
  }
  r.count = static_cast<uint32_t>(taken.parts.size()) - r.first;
  if (r.count != 0) taken.relations.push_back(r);
}

void TreeBuilder::Taken::ReleaseRoom() const {
  ReleaseUnusedRoom(listed);
  ReleaseUnusedRoom(attributes);
  ReleaseUnusedRoom(text);  // the page of its terminating zero stays: only whole pages go
  ReleaseUnusedRoom(relations);
  ReleaseUnusedRoom(parts);
}

void TreeBuilder::Adopt(uint32_t firstSlot, std::span<const uint16_t> typeCodes) {
  // Kept as it is, after what the main pass took so far; the main pass goes on in a new one.
  Taken& ahead = _taken[1];
  for (Listed& l : ahead.listed) l.entry.type = typeCodes[l.entry.type];
  ahead.firstSlot = firstSlot;
  _taken[0].ReleaseRoom();
  ahead.ReleaseRoom();
  _segments.push_back(std::move(_taken[0]));
  _segments.push_back(std::move(ahead));
  _taken[0] = Taken();
  _taken[1] = Taken();
}

void TreeBuilder::Discard() {
  _taken[1] = Taken();
}

TreeBuilder::Taken::Taken() : flat(std::make_unique<FlatParams>()) {}
TreeBuilder::Taken::~Taken() = default;
TreeBuilder::Taken::Taken(Taken&&) noexcept = default;
TreeBuilder::Taken& TreeBuilder::Taken::operator=(Taken&&) noexcept = default;

// ---- after indexing ----------------------------------------------------------------------

void TreeBuilder::ClassifyTypes() {
  const StepTypeTable& table = _file.Types();
  _types.resize(table.Size());
  for (uint32_t code = 0; code < table.Size(); ++code) {
    const TypeCatalog::Info info = TypeCatalog::Lookup(table.Name(code));
    TypeInfo& t = _types[code];
    t.roles = info.roles;
    if (info.known) {
      t.catalogName = info.name;
    } else {
      const auto own = static_cast<uint32_t>(_segments.size() - 1);
      t.derivedName =
          Store((*_pTexts)[own], TypeCatalog::DerivedName(table.Name(code)), false, own);
    }
  }
  std::vector<uint32_t> byName(_types.size());
  for (uint32_t code = 0; code < byName.size(); ++code) byName[code] = code;
  std::sort(byName.begin(), byName.end(),
            [this](uint32_t a, uint32_t b) { return TypeNameOf(a) < TypeNameOf(b); });
  for (uint32_t rank = 0; rank < byName.size(); ++rank) _types[byName[rank]].rank = rank;
}

uint32_t TreeBuilder::NodeFor(uint32_t slot, const StepEntry& entry) {
  // The slot is marked: its node number is kept at its rank among the marks.
  const uint64_t marks = _slotMarks[slot / 64];
  const uint64_t below = (uint64_t{1} << (slot % 64)) - 1;
  uint32_t& index = _nodeOfMark[_marksBefore[slot / 64] + CountBits(marks & below)];
  if (index == kNone) {
    index = static_cast<uint32_t>(_work.size());
    Work& w = _work.emplace_back();
    w.entry = entry;
    w.slot = slot;
    w.roles = _types[entry.type].roles;
  }
  return index;
}

void TreeBuilder::CollectRelations() {
  // Replays, in file order, what a walk over every record would do: a listed entity gets its
  // node where it stands, a relationship where it stands. Node numbers then follow the file
  // the same way, whichever thread read the record.
  std::size_t listedCount = 0;
  std::size_t foundCount = 0;
  for (const Taken& t : _segments) {
    listedCount += t.listed.size();
    foundCount += t.relations.size() + t.parts.size();
  }
  _work.reserve(listedCount + listedCount / 8 + 64);
  // Slot -> node for the few slots that can become nodes: a bit marks each first, then a node
  // number per mark. A table over every slot would be 4 bytes a record, most of them fresh
  // pages touched once.
  const StepEntry* const entries = _file.Entries().data();
  _slotMarks.assign(_file.Entries().size() / 64 + 1, 0);
  auto mark = [this](uint32_t slot) { _slotMarks[slot / 64] |= uint64_t{1} << (slot % 64); };
  // What the relationships' numbers name, in their order: the whole's slot, then its parts'
  // (kNone for one not in the file, or the whole itself); nothing of a dangling whole's parts.
  Table<uint32_t> found;
  found.reserve(foundCount);
  for (const Taken& taken : _segments) {
    for (const Listed& l : taken.listed) mark(taken.firstSlot + l.slot);
    for (const Relation& r : taken.relations) {
      const StepEntry* whole = _file.Find(r.whole);
      found.push_back(whole == nullptr ? kNone : static_cast<uint32_t>(whole - entries));
      if (whole == nullptr) continue;  // dangling
      mark(found.back());
      for (uint32_t k = r.first; k < r.first + r.count; ++k) {
        const StepEntry* part = _file.Find(taken.parts[k]);
        found.push_back(part == nullptr || part == whole ? kNone
                                                         : static_cast<uint32_t>(part - entries));
        if (found.back() != kNone) mark(found.back());
      }
    }
  }
  _marksBefore.resize(_slotMarks.size());
  uint32_t marked = 0;
  for (std::size_t w = 0; w < _slotMarks.size(); ++w) {
    _marksBefore[w] = marked;
    marked += CountBits(_slotMarks[w]);
  }
  _nodeOfMark.assign(marked, kNone);

  std::vector<uint32_t> children;
  std::size_t next = 0;
  for (std::size_t segment = 0; segment < _segments.size(); ++segment) {
    const Taken& taken = _segments[segment];
    const auto& listed = taken.listed;
    const auto& relations = taken.relations;
    std::size_t li = 0;
    std::size_t ri = 0;
    while (li < listed.size() || ri < relations.size()) {
      if (ri == relations.size() || (li < listed.size() && listed[li].slot <= relations[ri].slot)) {
        const uint32_t node = NodeFor(taken.firstSlot + listed[li].slot, listed[li].entry);
        _work[node].attributes = static_cast<uint32_t>(li);
        _work[node].segment = static_cast<uint8_t>(segment);
        ++li;
        continue;
      }
      const Relation& r = relations[ri++];
      const uint32_t wholeSlot = found[next++];
      if (wholeSlot == kNone) continue;
      children.clear();
      for (uint32_t k = 0; k < r.count; ++k) {
        if (found[next + k] != kNone) children.push_back(found[next + k]);
      }
      next += r.count;
      if (children.empty()) continue;
      const uint32_t parent = NodeFor(wholeSlot, entries[wholeSlot]);
      for (const uint32_t part : children) {
        const uint32_t child = NodeFor(part, entries[part]);
        Work& w = _work[child];
        if (w.parentRank < r.rank) {
          w.parent = parent;
          w.parentRank = r.rank;
        }
      }
    }
  }
  decltype(_slotMarks)().swap(_slotMarks);
  decltype(_marksBefore)().swap(_marksBefore);
  decltype(_nodeOfMark)().swap(_nodeOfMark);
}

void TreeBuilder::ReadAttributes() {
  // Entities only a relationship placed (unknown types, ...) were not taken while indexing;
  // they go to Build's own segment.
  std::vector<uint32_t> pending;
  for (uint32_t i = 0; i < _work.size(); ++i) {
    if (_work[i].attributes == kNone && !_work[i].entry.complex) pending.push_back(i);
  }
  std::sort(pending.begin(), pending.end(),
            [this](uint32_t a, uint32_t b) { return _work[a].slot < _work[b].slot; });
  const auto own = static_cast<uint32_t>(_segments.size() - 1);
  Taken& taken = _segments[own];
  std::string& text = (*_pTexts)[own];
  for (const uint32_t index : pending) {
    Work& w = _work[index];
    const bool storey = (w.roles & TypeCatalog::kStorey) != 0;
    _file.Decode(w.entry, taken.params, storey ? kElevationIndex : kDescriptionIndex);
    w.attributes = static_cast<uint32_t>(taken.attributes.size());
    w.segment = static_cast<uint8_t>(own);
    ReadInto(taken.params, text, own, taken.attributes.emplace_back(), storey);
  }
}

void TreeBuilder::BreakCycles() {
  // Each node has at most one parent, so following parents from any node either ends at a
  // parentless node or runs into a loop; cut the loop at the last edge walked.
  enum : uint8_t { kUnseen, kOnPath, kDone };
  Table<uint8_t> state(_work.size(), kUnseen);
  Table<uint32_t> path;
  for (uint32_t start = 0; start < _work.size(); ++start) {
    if (state[start] != kUnseen) continue;
    path.clear();
    uint32_t at = start;
    while (at != kNone && state[at] == kUnseen) {
      state[at] = kOnPath;
      path.push_back(at);
      at = _work[at].parent;
    }
    if (at != kNone && state[at] == kOnPath) {
      _work[path.back()].parent = kNone;
      _work[path.back()].parentRank = 0;
    }
    for (const uint32_t n : path) state[n] = kDone;
  }
}

void TreeBuilder::ChooseRoots() {
  // Parentless entities: projects and spatial ones are roots, the rest goes to the group.
  const auto realCount = static_cast<uint32_t>(_work.size());
  Table<uint32_t> unplaced;
  for (uint32_t i = 0; i < realCount; ++i) {
    if (_work[i].parent != kNone) continue;
    if ((_work[i].roles & (TypeCatalog::kContext | TypeCatalog::kSpatial)) != 0) {
      _roots.push_back(i);
    } else {
      unplaced.push_back(i);
    }
  }
  _total = realCount;
  if (!unplaced.empty()) {
    _group = _total++;
    for (const uint32_t i : unplaced) _work[i].parent = _group;
  }
  MakeNameKeys(_roots.begin(), _roots.end());
  std::sort(_roots.begin(), _roots.end(), [this](uint32_t a, uint32_t b) {
    const bool ac = (_work[a].roles & TypeCatalog::kContext) != 0;
    const bool bc = (_work[b].roles & TypeCatalog::kContext) != 0;
    if (ac != bc) return ac;
    return Before(a, b);
  });
  if (_group != kNone) _roots.push_back(_group);
}

void TreeBuilder::LayOutChildren() {
  // All child lists in one array: count, offset, fill, then sort each range.
  _start.assign(_total + 1, 0);
  for (const Work& w : _work) {
    if (w.parent != kNone) ++_start[w.parent + 1];
  }
  for (uint32_t i = 0; i < _total; ++i) _start[i + 1] += _start[i];
  _order.assign(_start[_total], 0);
  Table<uint32_t> fill(_start.begin(), _start.end() - 1);
  for (uint32_t i = 0; i < _work.size(); ++i) {
    if (_work[i].parent != kNone) _order[fill[_work[i].parent]++] = i;
  }
  for (uint32_t i = 0; i < _total; ++i) {
    const auto first = _order.begin() + _start[i];
    const auto last = _order.begin() + _start[i + 1];
    if (last - first < 2) continue;
    if (i == _group) {
      // Unplaced elements have nothing in common to sort by; file order reads best.
      std::sort(first, last,
                [this](uint32_t a, uint32_t b) { return _work[a].slot < _work[b].slot; });
    } else {
      SortSiblings(first, last);
    }
  }
  decltype(_keys)().swap(_keys);
  std::string().swap(_keyText);
  decltype(_heads)().swap(_heads);
  decltype(_scratch)().swap(_scratch);
  decltype(_nodes)().swap(_nodes);
}

void TreeBuilder::MarkSpatialBelow() {
  // Breadth-first from the roots, then folded bottom-up: no recursion on deep trees.
  Table<uint32_t> topDown(_roots);
  topDown.reserve(_total);
  for (std::size_t k = 0; k < topDown.size(); ++k) {
    const uint32_t n = topDown[k];
    topDown.insert(topDown.end(), _order.begin() + _start[n], _order.begin() + _start[n + 1]);
  }
  _spatialBelow.assign(_total, 0);
  for (auto it = topDown.rbegin(); it != topDown.rend(); ++it) {
    const uint32_t n = *it;
    if (n == _group || _work[n].parent == kNone) continue;
    const bool spatial = (_work[n].roles & TypeCatalog::kSpatial) != 0;
    if (spatial || _spatialBelow[n]) _spatialBelow[_work[n].parent] = 1;
  }
}

void TreeBuilder::Emit(Output& out) const {
  std::vector<std::string_view> typeNames(_types.size());
  for (uint32_t code = 0; code < _types.size(); ++code) typeNames[code] = TypeNameOf(code);

  auto reserve = [](auto& table, std::size_t n) {
    table.clear();
    table.reserve(n);
  };
  reserve(out.nodes, _total);
  out.nodes.resize(_total);
  reserve(out.descriptions, _total);
  out.descriptions.resize(_total);
  reserve(out.links, _order.size() + _roots.size());
  for (const uint32_t n : _order) out.links.push_back(&out.nodes[n]);
  for (const uint32_t n : _roots) out.links.push_back(&out.nodes[n]);

  for (uint32_t i = 0; i < _total; ++i) {
    Node& node = out.nodes[i];
    node._pChildren = out.links.data() + _start[i];
    node._childCount = _start[i + 1] - _start[i];
    if (i == _group) {
      node._name = kUnplacedName;
      node._flags = Node::kSyntheticFlag;
      continue;
    }
    const Work& w = _work[i];
    const StepEntry& e = w.entry;
    node._instance = e.id;
    const Attributes& a = AttributesOf(i);
    node._globalId = View(a.globalId);
    node._name = View(a.name);
    out.descriptions[i] = View(a.description);
    node._typeName = typeNames[w.entry.type];
    node._elevationText = View(a.elevationText);
    node._elevation = a.elevation;
    node._pParent = w.parent != kNone ? &out.nodes[w.parent] : nullptr;
    node._recordOffset = e.offset;
    node._recordLength = e.length;
    node._roles = w.roles;
    if (e.complex) node._flags |= Node::kComplexFlag;
    if ((w.roles & TypeCatalog::kSpatial) != 0) {
      node._flags |= Node::kSpatialFlag;
      if (!_spatialBelow[i]) node._flags |= Node::kLatestSpatialFlag;
    }
  }
  out.roots = out.links.data() + _order.size();
  out.rootCount = _roots.size();
}

void TreeBuilder::Build(Output out, const std::function<void()>& indexDone) {
  // The stretches in file order, then one for what is decoded here. Each one's text becomes
  // one of the output's, as it is.
  _taken[0].ReleaseRoom();
  _segments.push_back(std::move(_taken[0]));
  _taken[0] = Taken();
  Discard();
  _segments.emplace_back();
  _pTexts = &out.texts;
  out.texts.clear();
  out.texts.resize(_segments.size());
  for (std::size_t k = 0; k < _segments.size(); ++k) {
    out.texts[k] = std::move(_segments[k].text);
    for (Attributes& a : _segments[k].attributes) {
      a.globalId.arena = a.name.arena = a.description.arena = a.elevationText.arena =
          static_cast<uint32_t>(k);
    }
  }
  ClassifyTypes();
  CollectRelations();
  if (indexDone) indexDone();
  ReadAttributes();
  BreakCycles();
  MakeSortKeys();
  ChooseRoots();
  LayOutChildren();
  MarkSpatialBelow();
  Emit(out);
}

}  // namespace ifc
