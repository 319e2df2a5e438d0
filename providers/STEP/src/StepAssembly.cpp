#include "StepAssembly.h"

#include <algorithm>
#include <span>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "StepFile.h"
#include "StepProductSink.h"

namespace step {

namespace {

// Exporters leave texts out in several ways: unset, empty, "$" written as a string, spaces.
bool IsBlank(const std::string& text) {
  if (text == "$") return true;
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) <= 0x20; });
}

std::string FirstGiven(const std::string& a, const std::string& b, const std::string& c) {
  if (!IsBlank(a)) return a;
  if (!IsBlank(b)) return b;
  return c;
}

// Keys are joined with "/" and numbered with "~": neither may appear inside one.
std::string EscapeKey(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c == '%') {
      out += "%25";
    } else if (c == '/') {
      out += "%2F";
    } else if (c == '~') {
      out += "%7E";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// The application protocol of a FILE_SCHEMA name, compared without case and without the
// object identifier some writers append ("AUTOMOTIVE_DESIGN { 1 0 10303 214 1 1 1 1 }").
std::string Application(std::string schema) {
  const std::size_t cut = schema.find_first_of(" {");
  if (cut != std::string::npos) schema.resize(cut);
  for (char& c : schema) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  auto starts = [&](const char* prefix) { return schema.rfind(prefix, 0) == 0; };
  if (starts("CONFIG_CONTROL_DESIGN") || starts("AP203")) return "AP203";
  if (starts("AUTOMOTIVE_DESIGN") || starts("AP214")) return "AP214";
  if (starts("AP242")) return "AP242";
  return schema;
}

std::string FileName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Numbers keys that repeat: members sorted by `order`, the first keeps its key, the next get
// "~2", "~3" and so on.
template <typename Order>
void Disambiguate(std::vector<uint32_t>& members, std::vector<std::string>& keys, Order order) {
  if (members.size() < 2) return;
  std::sort(members.begin(), members.end(), order);
  for (std::size_t i = 1; i < members.size(); ++i) {
    keys[members[i]] += "~" + std::to_string(i + 1);
  }
}

}  // namespace

StepAssembly::StepAssembly() = default;
StepAssembly::~StepAssembly() = default;

bool StepAssembly::Open(const std::string& path, std::string& error,
                        const StepAssemblyOptions& options) {
  return Read(FileName(path), error, options, [&](StepFile& file, const StepIndexOptions& index) {
    return file.Open(path, error, index);
  });
}

bool StepAssembly::OpenBuffer(std::string_view bytes, std::string& error,
                              const StepAssemblyOptions& options) {
  return Read("the file", error, options, [&](StepFile& file, const StepIndexOptions& index) {
    return file.OpenBuffer(bytes, error, index);
  });
}

bool StepAssembly::Read(const std::string& name, std::string& error,
                        const StepAssemblyOptions& options,
                        const std::function<bool(StepFile&, const StepIndexOptions&)>& open) {
  Reset();
  StepProductSink sink;
  if (!sink.SetCodePage(options.codePage, error)) return false;
  std::string schema;
  {
    // The reader goes before the tree is built: only the product records outlive it.
    StepFile file;
    StepIndexOptions index;
    index.sink = &sink;
    index.splitFrom = options.splitFrom;
    index.keepIndex = false;  // the sink takes all the tree needs
    if (!open(file, index)) return false;
    _header = file.Header();
    schema = file.Schema();
  }
  _application = Application(schema);
  _unreadComplex = sink.ComplexUnread();
  _records = std::make_unique<StepProductRecords>(sink.TakeRecords());
  return Build(name, error, options);
}

void StepAssembly::Reset() {
  _header = FileHeader();
  _application.clear();
  _records.reset();
  _productOf.clear();
  _below.clear();
  _rootDefinitions.clear();
  _usageKey.clear();
  _rootKey.clear();
  _usageQuantity.clear();
  _nodes.clear();
  _rootCount = 0;
  _skippedUsages = 0;
  _cutCycles = 0;
  _unreadComplex = 0;
  _duplicateInstances = 0;
}

bool StepAssembly::Build(const std::string& name, std::string& error,
                         const StepAssemblyOptions& options) {
  if (_records->definitions.empty()) {
    error = "no product structure in " + name + ": it has no PRODUCT_DEFINITION (schema " +
            (_application.empty() ? std::string("not given") : _application) + ")";
    return false;
  }
  ResolveReferences();
  AssignKeys();
  FindRoots();
  CutCycles();
  return Expand(error, options.maxOccurrences);
}

void StepAssembly::ResolveReferences() {
  StepProductRecords& r = *_records;
  // A repeated instance number means the first record, as the file reader's lookup does.
  std::unordered_map<uint64_t, uint32_t> products, formations, definitions;
  for (uint32_t i = 0; i < r.products.size(); ++i) products.emplace(r.products[i].instance, i);
  for (uint32_t i = 0; i < r.formations.size(); ++i) {
    formations.emplace(r.formations[i].instance, i);
  }
  for (uint32_t i = 0; i < r.definitions.size(); ++i) {
    definitions.emplace(r.definitions[i].instance, i);
  }
  // Repeated numbers among all product records. Each list is in file order, where writers
  // mostly number upwards: merging them costs a pass, where a hash set would cost a node per
  // record (a tenth of the whole generation on a large assembly).
  std::vector<uint32_t> ids;
  ids.reserve(r.products.size() + r.formations.size() + r.definitions.size() + r.usages.size());
  auto merge = [&](const auto& list) {
    const auto from = static_cast<std::ptrdiff_t>(ids.size());
    for (const auto& record : list) ids.push_back(record.instance);
    if (!std::is_sorted(ids.begin() + from, ids.end())) std::sort(ids.begin() + from, ids.end());
    std::inplace_merge(ids.begin(), ids.begin() + from, ids.end());
  };
  merge(r.products);
  merge(r.formations);
  merge(r.definitions);
  merge(r.usages);
  for (std::size_t i = 1; i < ids.size(); ++i) {
    if (ids[i] == ids[i - 1]) ++_duplicateInstances;
  }
  auto find = [](const std::unordered_map<uint64_t, uint32_t>& map, uint64_t id) {
    const auto it = map.find(id);
    return it == map.end() ? kNoIndex : it->second;
  };

  _productOf.assign(r.definitions.size(), kNoIndex);
  for (uint32_t d = 0; d < r.definitions.size(); ++d) {
    const uint32_t f = find(formations, r.definitions[d].formation);
    if (f != kNoIndex) _productOf[d] = find(products, r.formations[f].product);
  }
  for (StepUsage& u : r.usages) {
    u.parent = find(definitions, u.parentRef);
    u.child = find(definitions, u.childRef);
    if (u.parent == kNoIndex || u.child == kNoIndex) {
      u.parent = u.child = kNoIndex;
      ++_skippedUsages;
    }
  }
}

std::string StepAssembly::DefinitionSortKey(uint32_t d) const {
  const StepDefinition& def = _records->definitions[d];
  const uint32_t p = _productOf[d];
  std::string key;
  if (p != kNoIndex) {
    const StepProduct& product = _records->products[p];
    key.append(product.id).push_back('\0');
    key.append(product.name).push_back('\0');
    key.append(product.description).push_back('\0');
  }
  key.append(def.id).push_back('\0');
  key.append(def.description);
  return key;
}

void StepAssembly::AssignKeys() {
  const std::vector<StepUsage>& usages = _records->usages;
  _usageKey.assign(usages.size(), std::string());
  _usageQuantity.assign(usages.size(), 1);
  std::vector<uint32_t> placed;  // usages whose ends are both definitions
  placed.reserve(usages.size());
  for (uint32_t i = 0; i < usages.size(); ++i) {
    const StepUsage& u = usages[i];
    if (u.parent == kNoIndex) continue;
    std::string base = FirstGiven(u.id, u.name, u.description);
    if (IsBlank(base)) {
      // Nothing to name the usage by: the part it places.
      const uint32_t p = _productOf[u.child];
      base = p == kNoIndex ? _records->definitions[u.child].id : _records->products[p].id;
    }
    _usageKey[i] = EscapeKey(base);
    placed.push_back(i);
  }
  // Runs of equal usages in sorted order rather than hash maps: a map node per usage cost
  // more than the rest of the tree's building. Ties go by record, so each run lists its
  // members in file order.
  auto forEachRun = [&](auto less, auto body) {
    std::sort(placed.begin(), placed.end(),
              [&](uint32_t a, uint32_t b) { return less(a, b) || (!less(b, a) && a < b); });
    for (std::size_t from = 0, to = 0; from < placed.size(); from = to) {
      to = from + 1;
      while (to < placed.size() && !less(placed[from], placed[to])) ++to;
      body(std::span<const uint32_t>(placed.data() + from, to - from));
    }
  };
  // Quantity: the uses of one child under one parent.
  forEachRun(
      [&](uint32_t a, uint32_t b) {
        return std::tie(usages[a].parent, usages[a].child) <
               std::tie(usages[b].parent, usages[b].child);
      },
      [&](std::span<const uint32_t> run) {
        for (const uint32_t m : run) _usageQuantity[m] = static_cast<uint32_t>(run.size());
      });
  // Siblings with one key are told apart by what they place and how they are described,
  // never by where they stand in the file.
  std::unordered_map<uint32_t, std::string> childKeys;
  auto childKey = [&](uint32_t d) -> const std::string& {
    auto it = childKeys.find(d);
    if (it == childKeys.end()) it = childKeys.emplace(d, DefinitionSortKey(d)).first;
    return it->second;
  };
  std::vector<uint32_t> members;
  forEachRun(
      [&](uint32_t a, uint32_t b) {
        return std::tie(usages[a].parent, _usageKey[a]) < std::tie(usages[b].parent, _usageKey[b]);
      },
      [&](std::span<const uint32_t> run) {
        if (run.size() < 2) return;
        members.assign(run.begin(), run.end());
        for (const uint32_t m : members) childKey(usages[m].child);
        Disambiguate(members, _usageKey, [&](uint32_t a, uint32_t b) {
          const StepUsage& x = usages[a];
          const StepUsage& y = usages[b];
          return std::tie(childKeys[x.child], x.name, x.description, x.designator, x.id) <
                 std::tie(childKeys[y.child], y.name, y.description, y.designator, y.id);
        });
      });
}

void StepAssembly::FindRoots() {
  std::vector<uint8_t> isChild(_records->definitions.size(), 0);
  for (const StepUsage& u : _records->usages) {
    if (u.parent != kNoIndex) isChild[u.child] = 1;
  }
  for (uint32_t d = 0; d < isChild.size(); ++d) {
    if (!isChild[d]) _rootDefinitions.push_back(d);
  }
}

void StepAssembly::CutCycles() {
  const std::vector<StepUsage>& usages = _records->usages;
  const std::size_t count = _records->definitions.size();
  // Below each definition, its usages in key order: the walk, and so which usage closes a
  // cycle, does not depend on the order of the records.
  std::vector<std::vector<uint32_t>> byKey(count);
  for (uint32_t i = 0; i < usages.size(); ++i) {
    if (usages[i].parent != kNoIndex) byKey[usages[i].parent].push_back(i);
  }
  for (auto& list : byKey) {
    std::sort(list.begin(), list.end(),
              [&](uint32_t a, uint32_t b) { return _usageKey[a] < _usageKey[b]; });
  }
  std::vector<uint8_t> cut(usages.size(), 0);
  enum : uint8_t { kNew, kOnPath, kDone };
  std::vector<uint8_t> state(count, kNew);
  std::vector<std::pair<uint32_t, std::size_t>> stack;  // definition, next usage
  auto walk = [&](uint32_t start) {
    state[start] = kOnPath;
    stack.emplace_back(start, 0);
    while (!stack.empty()) {
      auto& [d, next] = stack.back();
      if (next == byKey[d].size()) {
        state[d] = kDone;
        stack.pop_back();
        continue;
      }
      const uint32_t u = byKey[d][next++];
      const uint32_t child = usages[u].child;
      if (state[child] == kOnPath) {
        cut[u] = 1;
        ++_cutCycles;
      } else if (state[child] == kNew) {
        state[child] = kOnPath;
        stack.emplace_back(child, 0);
      }
    }
  };
  std::vector<uint32_t> roots = _rootDefinitions;
  std::sort(roots.begin(), roots.end(),
            [&](uint32_t a, uint32_t b) { return DefinitionSortKey(a) < DefinitionSortKey(b); });
  for (const uint32_t r : roots) walk(r);
  // What only cycles reach has no root yet: the first of it by content becomes one.
  std::vector<uint32_t> unreached;
  for (uint32_t d = 0; d < count; ++d) {
    if (state[d] == kNew) unreached.push_back(d);
  }
  std::sort(unreached.begin(), unreached.end(),
            [&](uint32_t a, uint32_t b) { return DefinitionSortKey(a) < DefinitionSortKey(b); });
  for (const uint32_t d : unreached) {
    if (state[d] != kNew) continue;
    _rootDefinitions.push_back(d);
    walk(d);
  }

  _below.assign(count, {});
  for (uint32_t i = 0; i < usages.size(); ++i) {
    if (usages[i].parent != kNoIndex && !cut[i]) _below[usages[i].parent].push_back(i);
  }

  // Root keys, numbered like usage keys when two roots share one.
  _rootKey.assign(count, std::string());
  std::unordered_map<std::string, std::vector<uint32_t>> groups;
  for (const uint32_t r : _rootDefinitions) {
    const uint32_t p = _productOf[r];
    std::string base = p == kNoIndex ? std::string()
                                     : FirstGiven(_records->products[p].id,
                                                  _records->products[p].name, std::string());
    if (IsBlank(base)) base = _records->definitions[r].id;
    _rootKey[r] = EscapeKey(base);
    groups[_rootKey[r]].push_back(r);
  }
  for (auto& [key, members] : groups) {
    Disambiguate(members, _rootKey, [&](uint32_t a, uint32_t b) {
      return DefinitionSortKey(a) < DefinitionSortKey(b);
    });
  }
}

bool StepAssembly::Expand(std::string& error, uint64_t limit) {
  const std::size_t count = _records->definitions.size();
  limit = std::min<uint64_t>(limit, kNoIndex - 1);
  // Occurrences below and including each definition, counted before anything is built
  // (saturating past the limit): an assembly too large fails here, not out of memory.
  std::vector<uint64_t> size(count, 0);
  std::vector<std::pair<uint32_t, std::size_t>> stack;
  for (uint32_t start = 0; start < count; ++start) {
    if (size[start] != 0) continue;
    stack.emplace_back(start, 0);
    while (!stack.empty()) {
      auto& [d, next] = stack.back();
      if (next < _below[d].size()) {
        const uint32_t child = _records->usages[_below[d][next++]].child;
        if (size[child] == 0) stack.emplace_back(child, 0);
        continue;
      }
      uint64_t total = 1;
      for (const uint32_t u : _below[d]) {
        total = std::min(total + size[_records->usages[u].child], limit + 1);
      }
      size[d] = total;
      stack.pop_back();
    }
  }
  uint64_t total = 0;
  for (const uint32_t r : _rootDefinitions) total = std::min(total + size[r], limit + 1);
  if (total > limit) {
    error = "the product structure expands to more than " + std::to_string(limit) +
            " occurrences; raise the limit to read it whole";
    return false;
  }

  _nodes.clear();
  _nodes.reserve(static_cast<std::size_t>(total));
  for (const uint32_t r : _rootDefinitions) {
    StepOccurrence root;
    root.definition = r;
    _nodes.push_back(root);
  }
  _rootCount = _nodes.size();
  // Breadth first, so that each node's children are neighbours.
  for (std::size_t i = 0; i < _nodes.size(); ++i) {
    const uint32_t d = _nodes[i].definition;
    _nodes[i].firstChild = static_cast<uint32_t>(_nodes.size());
    _nodes[i].childCount = static_cast<uint32_t>(_below[d].size());
    for (const uint32_t u : _below[d]) {
      StepOccurrence child;
      child.definition = _records->usages[u].child;
      child.usage = u;
      child.parent = static_cast<uint32_t>(i);
      _nodes.push_back(child);
    }
  }
  return true;
}

std::string StepAssembly::Notes() const {
  std::string notes;
  auto add = [&](std::size_t n, const char* one, const char* many, const char* what) {
    if (n == 0) return;
    if (!notes.empty()) notes += ", ";
    notes += std::to_string(n) + " " + (n == 1 ? one : many) + what;
  };
  add(_skippedUsages, "usage", "usages", " skipped (ends are not product definitions)");
  add(_cutCycles, "cycle", "cycles", " cut");
  add(_unreadComplex, "complex record", "complex records", " not read");
  add(_duplicateInstances, "record reuses", "records reuse",
      " an instance number (the first is used)");
  return notes;
}

const StepProduct* StepAssembly::Product(const StepOccurrence& node) const {
  const uint32_t p = _productOf[node.definition];
  return p == kNoIndex ? nullptr : &_records->products[p];
}

const std::string& StepAssembly::Label(const StepOccurrence& node) const {
  if (const StepUsage* u = Usage(node)) {
    for (const std::string* text : {&u->description, &u->name, &u->id})
      if (!IsBlank(*text)) return *text;
  }
  if (const StepProduct* product = Product(node)) {
    if (!IsBlank(product->name)) return product->name;
    if (!IsBlank(product->id)) return product->id;
  }
  return Definition(node).id;
}

std::string StepAssembly::Uid(const StepOccurrence& node) const {
  // Measured first, then filled from the end: one allocation per uid, asked for every row.
  std::size_t size = 0;
  const StepOccurrence* at = &node;
  for (; at->usage != kNoIndex; at = &_nodes[at->parent]) size += 1 + _usageKey[at->usage].size();
  const std::string& root = _rootKey[at->definition];
  std::string uid(root.size() + size, '/');
  std::copy(root.begin(), root.end(), uid.begin());
  auto end = uid.end();
  for (at = &node; at->usage != kNoIndex; at = &_nodes[at->parent]) {
    const std::string& key = _usageKey[at->usage];
    end -= static_cast<std::ptrdiff_t>(key.size());
    std::copy(key.begin(), key.end(), end);
    --end;  // the '/' before it
  }
  return uid;
}

}  // namespace step
