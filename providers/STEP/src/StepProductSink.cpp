#include "StepProductSink.h"

#include <iterator>
#include <utility>

#include "StepString.h"

namespace step {

bool StepProductSink::SetCodePage(const std::string& name, std::string& error) {
  if (name.empty()) return true;
  return _pages[0].Open(name, error) && _pages[1].Open(name, error);
}

uint8_t StepProductSink::Select(std::string_view type) const {
  if (type == "PRODUCT") return kProduct;
  if (type == "PRODUCT_DEFINITION_FORMATION" ||
      type == "PRODUCT_DEFINITION_FORMATION_WITH_SPECIFIED_SOURCE") {
    return kFormation;
  }
  // The subtypes that add attributes after the four of PRODUCT_DEFINITION.
  if (type == "PRODUCT_DEFINITION" || type == "PRODUCT_DEFINITION_WITH_ASSOCIATED_DOCUMENTS" ||
      type == "COMPOSITE_ASSEMBLY_DEFINITION" || type == "COMPOSITE_ASSEMBLY_SEQUENCE_DEFINITION") {
    return kDefinition;
  }
  if (type == "NEXT_ASSEMBLY_USAGE_OCCURRENCE") return kUsage;
  return kSkip;
}

std::string StepProductSink::Text(unsigned thread, std::size_t index) const {
  const StepParameters& params = _params[thread];
  const StepValue& v = params.Unwrap(params.At(index));
  if (v.kind != StepKind::String) return std::string();
  return StepString::Decode(v.text, &_pages[thread]);
}

uint64_t StepProductSink::Ref(unsigned thread, std::size_t index) const {
  uint64_t id = 0;
  return _params[thread].Reference(index, id) ? id : 0;
}

void StepProductSink::Take(unsigned thread, uint32_t, const StepEntry& entry, uint8_t tag,
                           std::string_view body) {
  if (thread > 1) return;
  if (entry.complex) {
    ++_complex[thread];
    return;
  }
  StepParameters& params = _params[thread];
  StepProductRecords& records = _records[thread];
  // A record that does not parse keeps what was decoded before the fault: its missing
  // attributes read as unset.
  switch (tag) {
    case kProduct: {
      params.Parse(body, 2);
      records.products.push_back({entry.id, Text(thread, 0), Text(thread, 1), Text(thread, 2)});
      break;
    }
    case kFormation: {
      params.Parse(body, 2);
      records.formations.push_back({entry.id, Ref(thread, 2)});
      break;
    }
    case kDefinition: {
      params.Parse(body, 2);
      records.definitions.push_back({entry.id, Text(thread, 0), Text(thread, 1), Ref(thread, 2)});
      break;
    }
    case kUsage: {
      params.Parse(body, 5);
      StepUsage usage;
      usage.instance = entry.id;
      usage.id = Text(thread, 0);
      usage.name = Text(thread, 1);
      usage.description = Text(thread, 2);
      usage.parentRef = Ref(thread, 3);
      usage.childRef = Ref(thread, 4);
      usage.designator = Text(thread, 5);
      records.usages.push_back(std::move(usage));
      break;
    }
    default:
      break;
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
