#include "IfcTreeBuilder.h"

#include <algorithm>
#include <cmath>

#include "IfcStepParameters.h"
#include "IfcStepString.h"
#include "IfcTypeCatalog.h"

namespace ifc {

namespace {

// IfcRoot: GlobalId, OwnerHistory, Name, Description; IfcBuildingStorey.Elevation is 9th.
constexpr std::size_t kGlobalIdIndex = 0;
constexpr std::size_t kNameIndex = 2;
constexpr std::size_t kElevationIndex = 9;
// IfcRelAggregates: RelatingObject, RelatedObjects.
constexpr std::size_t kAggregatesWhole = 4;
constexpr std::size_t kAggregatesParts = 5;
// IfcRelContainedInSpatialStructure: RelatedElements, RelatingStructure.
constexpr std::size_t kContainedElements = 4;
constexpr std::size_t kContainedStructure = 5;

constexpr uint8_t kRankContained = 1;
constexpr uint8_t kRankAggregated = 2;

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// "Wall 9" < "Wall 10"; case ignored, then plain bytes for a total order.
int NaturalCompare(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      while (i < a.size() && a[i] == '0') ++i;
      while (j < b.size() && b[j] == '0') ++j;
      std::size_t ei = i;
      std::size_t ej = j;
      while (ei < a.size() && IsDigit(a[ei])) ++ei;
      while (ej < b.size() && IsDigit(b[ej])) ++ej;
      if (ei - i != ej - j) return (ei - i) < (ej - j) ? -1 : 1;
      const int c = a.substr(i, ei - i).compare(b.substr(j, ej - j));
      if (c != 0) return c;
      i = ei;
      j = ej;
      continue;
    }
    const char ca = AsciiLower(a[i]);
    const char cb = AsciiLower(b[j]);
    if (ca != cb) return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb) ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return a.compare(b);
}

}  // namespace

TreeBuilder::TextRef TreeBuilder::Store(std::string_view raw, bool decode) {
  TextRef ref;
  ref.offset = text_->size();
  if (decode) {
    StepString::DecodeAppend(raw, *text_);
  } else {
    text_->append(raw);
  }
  ref.length = static_cast<uint32_t>(text_->size() - ref.offset);
  return ref;
}

std::string_view TreeBuilder::View(const TextRef& ref) const {
  return std::string_view(*text_).substr(static_cast<std::size_t>(ref.offset), ref.length);
}

std::string_view TreeBuilder::TypeNameOf(uint32_t code) const {
  const TypeInfo& t = types_[code];
  return t.catalogName.empty() ? View(t.derivedName) : t.catalogName;
}

void TreeBuilder::ClassifyTypes() {
  const StepTypeTable& table = file_.Types();
  types_.resize(table.Size());
  for (uint32_t code = 0; code < table.Size(); ++code) {
    const TypeCatalog::Info info = TypeCatalog::Lookup(table.Name(code));
    TypeInfo& t = types_[code];
    t.roles = info.roles;
    if (info.known) {
      t.catalogName = info.name;
    } else {
      t.derivedName = Store(TypeCatalog::DerivedName(table.Name(code)), false);
    }
  }
  std::vector<uint32_t> byName(types_.size());
  for (uint32_t code = 0; code < byName.size(); ++code) byName[code] = code;
  std::sort(byName.begin(), byName.end(),
            [this](uint32_t a, uint32_t b) { return TypeNameOf(a) < TypeNameOf(b); });
  for (uint32_t rank = 0; rank < byName.size(); ++rank) types_[byName[rank]].rank = rank;
}

uint32_t TreeBuilder::NodeFor(uint32_t slot) {
  uint32_t& index = nodeOfSlot_[slot];
  if (index == kNone) {
    index = static_cast<uint32_t>(work_.size());
    Work w;
    w.slot = slot;
    w.typeCode = file_.Entries()[slot].type;
    w.roles = types_[w.typeCode].roles;
    work_.push_back(w);
  }
  return index;
}

void TreeBuilder::CollectRelations() {
  const auto entries = file_.Entries();
  const int aggregates = file_.Types().Find("IFCRELAGGREGATES");
  const int contained = file_.Types().Find("IFCRELCONTAINEDINSPATIALSTRUCTURE");
  StepParameters params;
  std::vector<uint32_t> children;

  constexpr uint8_t kListed = TypeCatalog::kElement | TypeCatalog::kSpatial | TypeCatalog::kContext;
  std::size_t expected = 0;
  for (const StepEntry& e : entries) expected += (types_[e.type].roles & kListed) != 0 ? 1 : 0;
  work_.reserve(expected + expected / 8 + 64);

  for (uint32_t slot = 0; slot < entries.size(); ++slot) {
    const StepEntry& e = entries[slot];
    if (e.complex) continue;
    const uint8_t roles = types_[e.type].roles;
    // Known elements, spatial entities and projects are listed even when nothing relates
    // them; creating them here also keeps their file order.
    if ((roles & kListed) != 0 && (roles & TypeCatalog::kFeature) == 0) {
      NodeFor(slot);
    }
    const bool isAggregates = static_cast<int>(e.type) == aggregates;
    if (!isAggregates && static_cast<int>(e.type) != contained) continue;

    // A record with a syntax error still yields the values before the error.
    file_.Decode(e, params);
    const std::size_t wholeIndex = isAggregates ? kAggregatesWhole : kContainedStructure;
    const std::size_t partsIndex = isAggregates ? kAggregatesParts : kContainedElements;
    const uint8_t rank = isAggregates ? kRankAggregated : kRankContained;

    uint64_t wholeId = 0;
    if (!params.Reference(wholeIndex, wholeId)) continue;
    const StepEntry* whole = file_.Find(wholeId);
    if (whole == nullptr) continue;  // dangling
    const uint32_t wholeSlot = static_cast<uint32_t>(file_.SlotOf(*whole));

    children.clear();
    for (const StepValue& item : params.Items(params.At(partsIndex))) {
      if (item.kind != StepKind::Reference) continue;
      const StepEntry* part = file_.Find(item.reference);
      if (part == nullptr || part == whole) continue;
      children.push_back(static_cast<uint32_t>(file_.SlotOf(*part)));
    }
    if (children.empty()) continue;
    const uint32_t parent = NodeFor(wholeSlot);
    for (const uint32_t childSlot : children) {
      const uint32_t child = NodeFor(childSlot);
      Work& w = work_[child];
      if (w.parentRank < rank) {
        w.parent = parent;
        w.parentRank = rank;
      }
    }
  }
}

void TreeBuilder::ReadAttributes() {
  const auto entries = file_.Entries();
  StepParameters params;
  // In file order, so pages already read can be handed back as the reading moves on.
  std::vector<uint32_t> inFileOrder(work_.size());
  for (uint32_t i = 0; i < inFileOrder.size(); ++i) inFileOrder[i] = i;
  std::sort(inFileOrder.begin(), inFileOrder.end(),
            [this](uint32_t a, uint32_t b) { return work_[a].slot < work_[b].slot; });
  std::size_t dropped = 0;
  for (const uint32_t index : inFileOrder) {
    Work& w = work_[index];
    const StepEntry& e = entries[w.slot];
    if (e.offset - dropped >= StepFile::kDropStride) {
      file_.DropResident(dropped, e.offset);
      dropped = e.offset;
    }
    if (e.complex) continue;
    const bool storey = (w.roles & TypeCatalog::kStorey) != 0;
    file_.Decode(e, params, storey ? kElevationIndex : kNameIndex);
    const StepValue& gid = params.Unwrap(params.At(kGlobalIdIndex));
    if (gid.kind == StepKind::String) w.globalId = Store(gid.text, true);
    const StepValue& name = params.Unwrap(params.At(kNameIndex));
    if (name.kind == StepKind::String) w.name = Store(name.text, true);
    if (storey) {
      const StepValue& elevation = params.Unwrap(params.At(kElevationIndex));
      if (elevation.IsNumber() && !std::isnan(elevation.AsDouble())) {
        w.hasElevation = true;
        w.elevation = elevation.AsDouble();
        w.elevationText = Store(elevation.text, false);
      }
    }
  }
}

void TreeBuilder::BreakCycles() {
  // Each node has at most one parent, so following parents from any node either ends at a
  // parentless node or runs into a loop; cut the loop at the last edge walked.
  enum : uint8_t { kUnseen, kOnPath, kDone };
  std::vector<uint8_t> state(work_.size(), kUnseen);
  std::vector<uint32_t> path;
  for (uint32_t start = 0; start < work_.size(); ++start) {
    if (state[start] != kUnseen) continue;
    path.clear();
    uint32_t at = start;
    while (at != kNone && state[at] == kUnseen) {
      state[at] = kOnPath;
      path.push_back(at);
      at = work_[at].parent;
    }
    if (at != kNone && state[at] == kOnPath) {
      work_[path.back()].parent = kNone;
      work_[path.back()].parentRank = 0;
    }
    for (const uint32_t n : path) state[n] = kDone;
  }
}

bool TreeBuilder::Before(uint32_t a, uint32_t b) const {
  const Work& x = work_[a];
  const Work& y = work_[b];
  const bool xs = (x.roles & TypeCatalog::kSpatial) != 0;
  const bool ys = (y.roles & TypeCatalog::kSpatial) != 0;
  if (xs != ys) return xs;
  if (x.hasElevation != y.hasElevation) return x.hasElevation;
  if (x.hasElevation && x.elevation != y.elevation) return x.elevation < y.elevation;
  if (x.typeCode != y.typeCode) return types_[x.typeCode].rank < types_[y.typeCode].rank;
  const std::string_view xn = View(x.name);
  const std::string_view yn = View(y.name);
  if (xn.empty() != yn.empty()) return yn.empty();
  const int c = NaturalCompare(xn, yn);
  if (c != 0) return c < 0;
  return x.slot < y.slot;
}

void TreeBuilder::ChooseRoots() {
  // Parentless entities: projects and spatial ones are roots, the rest goes to the group.
  const auto realCount = static_cast<uint32_t>(work_.size());
  std::vector<uint32_t> unplaced;
  for (uint32_t i = 0; i < realCount; ++i) {
    if (work_[i].parent != kNone) continue;
    if ((work_[i].roles & (TypeCatalog::kContext | TypeCatalog::kSpatial)) != 0) {
      roots_.push_back(i);
    } else {
      unplaced.push_back(i);
    }
  }
  total_ = realCount;
  if (!unplaced.empty()) {
    group_ = total_++;
    for (const uint32_t i : unplaced) work_[i].parent = group_;
  }
  std::sort(roots_.begin(), roots_.end(), [this](uint32_t a, uint32_t b) {
    const bool ac = (work_[a].roles & TypeCatalog::kContext) != 0;
    const bool bc = (work_[b].roles & TypeCatalog::kContext) != 0;
    if (ac != bc) return ac;
    return Before(a, b);
  });
  if (group_ != kNone) roots_.push_back(group_);
}

void TreeBuilder::LayOutChildren() {
  // All child lists in one array: count, offset, fill, then sort each range.
  start_.assign(total_ + 1, 0);
  for (const Work& w : work_) {
    if (w.parent != kNone) ++start_[w.parent + 1];
  }
  for (uint32_t i = 0; i < total_; ++i) start_[i + 1] += start_[i];
  order_.assign(start_[total_], 0);
  std::vector<uint32_t> fill(start_.begin(), start_.end() - 1);
  for (uint32_t i = 0; i < work_.size(); ++i) {
    if (work_[i].parent != kNone) order_[fill[work_[i].parent]++] = i;
  }
  for (uint32_t i = 0; i < total_; ++i) {
    const auto first = order_.begin() + start_[i];
    const auto last = order_.begin() + start_[i + 1];
    if (i == group_) {
      // Unplaced elements have nothing in common to sort by; file order reads best.
      std::sort(first, last,
                [this](uint32_t a, uint32_t b) { return work_[a].slot < work_[b].slot; });
    } else {
      std::sort(first, last, [this](uint32_t a, uint32_t b) { return Before(a, b); });
    }
  }
}

void TreeBuilder::MarkSpatialBelow() {
  // Breadth-first from the roots, then folded bottom-up: no recursion on deep trees.
  std::vector<uint32_t> topDown(roots_);
  topDown.reserve(total_);
  for (std::size_t k = 0; k < topDown.size(); ++k) {
    const uint32_t n = topDown[k];
    topDown.insert(topDown.end(), order_.begin() + start_[n], order_.begin() + start_[n + 1]);
  }
  spatialBelow_.assign(total_, 0);
  for (auto it = topDown.rbegin(); it != topDown.rend(); ++it) {
    const uint32_t n = *it;
    if (n == group_ || work_[n].parent == kNone) continue;
    const bool spatial = (work_[n].roles & TypeCatalog::kSpatial) != 0;
    if (spatial || spatialBelow_[n]) spatialBelow_[work_[n].parent] = 1;
  }
}

void TreeBuilder::Emit(Output& out) const {
  const auto entries = file_.Entries();
  std::vector<std::string_view> typeNames(types_.size());
  for (uint32_t code = 0; code < types_.size(); ++code) typeNames[code] = TypeNameOf(code);

  out.nodes.assign(total_, Node());
  out.links.clear();
  out.links.reserve(order_.size() + roots_.size());
  for (const uint32_t n : order_) out.links.push_back(&out.nodes[n]);
  for (const uint32_t n : roots_) out.links.push_back(&out.nodes[n]);

  for (uint32_t i = 0; i < total_; ++i) {
    Node& node = out.nodes[i];
    node.children_ = out.links.data() + start_[i];
    node.childCount_ = start_[i + 1] - start_[i];
    if (i == group_) {
      node.name_ = kUnplacedName;
      node.flags_ = Node::kSyntheticFlag;
      continue;
    }
    const Work& w = work_[i];
    const StepEntry& e = entries[w.slot];
    node.instance_ = e.id;
    node.globalId_ = View(w.globalId);
    node.name_ = View(w.name);
    node.typeName_ = typeNames[w.typeCode];
    node.elevationText_ = View(w.elevationText);
    node.elevation_ = w.elevation;
    node.parent_ = w.parent != kNone ? &out.nodes[w.parent] : nullptr;
    node.recordOffset_ = e.offset;
    node.recordLength_ = e.length;
    node.roles_ = w.roles;
    if (e.complex) node.flags_ |= Node::kComplexFlag;
    if ((w.roles & TypeCatalog::kSpatial) != 0) {
      node.flags_ |= Node::kSpatialFlag;
      if (!spatialBelow_[i]) node.flags_ |= Node::kLatestSpatialFlag;
    }
  }
  out.roots = out.links.data() + order_.size();
  out.rootCount = roots_.size();
}

void TreeBuilder::Build(Output out) {
  text_ = &out.text;
  text_->clear();
  nodeOfSlot_.assign(file_.Entries().size(), kNone);
  ClassifyTypes();
  CollectRelations();
  std::vector<uint32_t>().swap(nodeOfSlot_);
  ReadAttributes();
  BreakCycles();
  ChooseRoots();
  LayOutChildren();
  MarkSpatialBelow();
  Emit(out);
}

}  // namespace ifc
