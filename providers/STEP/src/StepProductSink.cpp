#include "StepProductSink.h"

#include <iterator>
#include <utility>

#include "StepString.h"

namespace step {

bool StepProductSink::SetCodePage(const std::string& name, std::string& error) {
  if (name.empty()) return true;
  return _pages[0].Open(name, error) && _pages[1].Open(name, error);
}

namespace {

std::span<const StepValue> Top(const StepParameters& params) {
  if (params.size() == 0) return {};
  return {&params[0], params.size()};
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != b[i]) return false;
  }
  return true;
}

// The record types the sink reads and the part each plays. Supertype and subtype stay apart:
// a complex record holds each attribute in the part that declares it, or all in its leaf.
enum class Part : uint8_t {
  None,
  Product,
  Formation,
  FormationSubtype,
  Definition,
  DefinitionSubtype,  // adds attributes after the four of PRODUCT_DEFINITION
  Usage,
  Relationship,
  Component,
};

constexpr std::pair<std::string_view, Part> kParts[] = {
    {"PRODUCT", Part::Product},
    {"PRODUCT_DEFINITION_FORMATION", Part::Formation},
    {"PRODUCT_DEFINITION_FORMATION_WITH_SPECIFIED_SOURCE", Part::FormationSubtype},
    {"PRODUCT_DEFINITION", Part::Definition},
    {"PRODUCT_DEFINITION_WITH_ASSOCIATED_DOCUMENTS", Part::DefinitionSubtype},
    {"COMPOSITE_ASSEMBLY_DEFINITION", Part::DefinitionSubtype},
    {"COMPOSITE_ASSEMBLY_SEQUENCE_DEFINITION", Part::DefinitionSubtype},
    {"NEXT_ASSEMBLY_USAGE_OCCURRENCE", Part::Usage},
    {"PRODUCT_DEFINITION_RELATIONSHIP", Part::Relationship},
    {"ASSEMBLY_COMPONENT_USAGE", Part::Component},
};

// Simple records' types come upper-cased; complex records' parts as the file wrote them.
Part PartOf(std::string_view name) {
  for (const auto& [known, part] : kParts)
    if (SameName(name, known)) return part;
  return Part::None;
}

// Every part TakeComplex reads has one of these in its name. One look at each byte for both
// words: complex records are mostly geometry and units, and most hold neither.
bool MayHoldProduct(std::string_view body) {
  constexpr std::string_view kProduct = "PRODUCT";
  constexpr std::string_view kUsage = "NEXT_ASSEMBLY_USAGE";
  for (std::size_t i = 0; i < body.size(); ++i) {
    const char c = static_cast<char>(body[i] & ~0x20);
    if (c == 'P' && SameName(body.substr(i, kProduct.size()), kProduct)) return true;
    if (c == 'N' && SameName(body.substr(i, kUsage.size()), kUsage)) return true;
  }
  return false;
}

}  // namespace

uint8_t StepProductSink::Select(std::string_view type) const {
  switch (PartOf(type)) {
    case Part::Product:
      return kProduct;
    case Part::Formation:
    case Part::FormationSubtype:
      return kFormation;
    case Part::Definition:
    case Part::DefinitionSubtype:
      return kDefinition;
    case Part::Usage:
      return kUsage;
    default:
      return kSkip;
  }
}

std::string StepProductSink::Text(unsigned thread, const StepValue& value) const {
  const StepValue& v = _params[thread].Unwrap(value);
  if (v.kind != StepKind::String) return std::string();
  return _pages[thread].Decode(v.text);
}

std::string StepProductSink::Text(unsigned thread, std::span<const StepValue> items,
                                  std::size_t index) const {
  return index < items.size() ? Text(thread, items[index]) : std::string();
}

uint64_t StepProductSink::Ref(std::span<const StepValue> items, std::size_t index) {
  if (index >= items.size() || items[index].kind != StepKind::Reference) return 0;
  return items[index].reference;
}

void StepProductSink::Take(unsigned thread, uint32_t, const StepEntry& entry, uint8_t tag,
                           std::string_view body) {
  if (thread > 1) return;
  if (entry.complex) {
    // Complex records are mostly geometry and units: parse only those naming a product part.
    if (tag == kComplex && !MayHoldProduct(body)) return;
    TakeComplex(thread, entry, body);
    return;
  }
  StepParameters& params = _params[thread];
  StepProductRecords& records = _records[thread];
  // A record that does not parse keeps what was decoded before the fault: its missing
  // attributes read as unset.
  switch (tag) {
    case kProduct: {
      params.Parse(body, 2);
      const auto a = Top(params);
      records.products.push_back(
          {entry.id, Text(thread, a, 0), Text(thread, a, 1), Text(thread, a, 2)});
      break;
    }
    case kFormation: {
      params.Parse(body, 2);
      records.formations.push_back({entry.id, Ref(Top(params), 2)});
      break;
    }
    case kDefinition: {
      params.Parse(body, 2);
      const auto a = Top(params);
      records.definitions.push_back({entry.id, Text(thread, a, 0), Text(thread, a, 1), Ref(a, 2)});
      break;
    }
    case kUsage: {
      params.Parse(body, 5);
      const auto a = Top(params);
      // Filled in place: no temporary of four strings to move in.
      StepUsage& usage = records.usages.emplace_back();
      usage.instance = entry.id;
      usage.id = Text(thread, a, 0);
      usage.name = Text(thread, a, 1);
      usage.description = Text(thread, a, 2);
      usage.parentRef = Ref(a, 3);
      usage.childRef = Ref(a, 4);
      usage.designator = Text(thread, a, 5);
      break;
    }
    default:
      break;
  }
}

// "#10=(PRODUCT_DEFINITION('d','',#9,#8)PRODUCT_DEFINITION_WITH_ASSOCIATED_DOCUMENTS((#7)));"
// Each part holds the attributes its entity declares: a usage's five are in its
// PRODUCT_DEFINITION_RELATIONSHIP part, its designator in ASSEMBLY_COMPONENT_USAGE. Writers
// that put all of them in the leaf part are read too. The record becomes the simple one.
void StepProductSink::TakeComplex(unsigned thread, const StepEntry& entry, std::string_view body) {
  StepParameters& params = _params[thread];
  StepProductRecords& records = _records[thread];
  const bool parsed = params.ParseComplex(body);
  std::span<const StepValue> product, formation, definition, definitionSubtype, usage, relation,
      component;
  bool isProduct = false, isFormation = false, isDefinition = false, isUsage = false;
  for (const StepValue& part : Top(params)) {
    const std::string_view name = part.text;
    const auto items = params.Items(part);
    switch (PartOf(name)) {
      case Part::Product:
        isProduct = true;
        product = items;
        break;
      case Part::Formation:
        isFormation = true;
        formation = items;
        break;
      case Part::FormationSubtype:
        isFormation = true;
        if (formation.empty()) formation = items;
        break;
      case Part::Definition:
        isDefinition = true;
        definition = items;
        break;
      case Part::DefinitionSubtype:
        isDefinition = true;
        definitionSubtype = items;
        break;
      case Part::Usage:
        isUsage = true;
        usage = items;
        break;
      case Part::Relationship:
        relation = items;
        break;
      case Part::Component:
        component = items;
        break;
      case Part::None:
        break;
    }
  }
  if (!parsed) {
    ++_complex[thread];
    return;
  }
  if (!isProduct && !isFormation && !isDefinition && !isUsage) return;  // another kind of usage
  if (isUsage) {
    const auto a = relation.size() >= 5 ? relation : usage;
    if (a.size() < 5) {
      ++_complex[thread];
      return;
    }
    StepUsage u;
    u.instance = entry.id;
    u.id = Text(thread, a, 0);
    u.name = Text(thread, a, 1);
    u.description = Text(thread, a, 2);
    u.parentRef = Ref(a, 3);
    u.childRef = Ref(a, 4);
    u.designator = !component.empty() ? Text(thread, component, 0) : Text(thread, a, 5);
    records.usages.push_back(std::move(u));
  } else if (isDefinition) {
    const auto a = definition.size() >= 3 ? definition : definitionSubtype;
    if (a.size() < 3) {
      ++_complex[thread];
      return;
    }
    records.definitions.push_back({entry.id, Text(thread, a, 0), Text(thread, a, 1), Ref(a, 2)});
  } else if (isFormation) {
    if (formation.size() < 3) {
      ++_complex[thread];
      return;
    }
    records.formations.push_back({entry.id, Ref(formation, 2)});
  } else {
    if (product.size() < 3) {
      ++_complex[thread];
      return;
    }
    records.products.push_back(
        {entry.id, Text(thread, product, 0), Text(thread, product, 1), Text(thread, product, 2)});
  }
}

void StepProductSink::Adopt(uint32_t, std::span<const uint16_t>) {
  // The main pass goes on after the adopted stretch (a later DATA section): what it reads
  // from now on comes after the stretch in the file.
  const StepProductRecords& main = _records[0];
  _adoptedAt = {main.products.size(), main.formations.size(), main.definitions.size(),
                main.usages.size()};
  _adopted = true;
}

void StepProductSink::Discard() {
  _records[1].Clear();
  _complex[1] = 0;
}

namespace {

template <typename T>
void Splice(std::vector<T>& main, std::vector<T>& ahead, std::size_t at) {
  if (ahead.empty()) return;
  main.insert(main.begin() + static_cast<std::ptrdiff_t>(at),
              std::make_move_iterator(ahead.begin()), std::make_move_iterator(ahead.end()));
  ahead.clear();
}

}  // namespace

StepProductRecords StepProductSink::TakeRecords() {
  StepProductRecords all = std::move(_records[0]);
  StepProductRecords& ahead = _records[1];
  if (_adopted) {
    Splice(all.products, ahead.products, _adoptedAt[0]);
    Splice(all.formations, ahead.formations, _adoptedAt[1]);
    Splice(all.definitions, ahead.definitions, _adoptedAt[2]);
    Splice(all.usages, ahead.usages, _adoptedAt[3]);
  }
  _records[0].Clear();
  _records[1].Clear();
  _adopted = false;
  return all;
}

}  // namespace step
