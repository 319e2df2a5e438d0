#include "IfcPropertyIndex.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <type_traits>

#include "IfcFlatParams.h"
#include "IfcTypeCatalog.h"
#include "MappedFile.h"
#include "StepString.h"

namespace ifc {

namespace {

uint64_t Load64(const char* p) {
  uint64_t v = 0;
  std::memcpy(&v, p, 8);
  return v;
}
uint32_t Load32(const char* p) {
  uint32_t v = 0;
  std::memcpy(&v, p, 4);
  return v;
}

// Equal texts: cells' texts are short, and a call of memcmp costs more than comparing them.
bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StepLexer::SameBytes(a.data(), b.data(), a.size());
}

// What a record is to this index; the high nibble of the sink tag (the tree's tags fit in the
// low one).
enum Kind : uint8_t {
  kNone,
  kPropertySet,
  kElementQuantity,
  kSingleValue,
  kEnumeratedValue,
  kBoundedValue,
  kListValue,
  kQuantity,
  kRelProperties,
  kRelType,
  kRelAssociates,
  kLayerAssignment,
  kShape,  // IfcProductDefinitionShape, IfcShapeRepresentation or IfcMappedItem, told apart by
           // shape
  kSpatialProduct,
  kElementProduct,
  kUnitAssignment,
};
constexpr uint8_t kTreeMask = 0x0F;

// Unit kinds, as IfcUnitEnum names them.
enum UnitKind : uint8_t { kNoUnit, kLength, kArea, kVolume, kAngle, kMass, kTime, kTemperature };

// Value kinds of one property value.
enum ValueKind : uint8_t { kNoValue, kTextValue, kBooleanValue, kNumberValue };

constexpr uint8_t kQuantityFlag = 0x80;
constexpr int kMaterialBudget = 1024;  // records read for one material association
constexpr uint32_t kNoName = 0xFFFF;
constexpr uint8_t kSpatialPredefined = 0x40;
constexpr uint32_t kPreferType = 0x80000000u;  // a cell from the type loses to the entity's own
constexpr uint32_t kInText = UINT32_MAX;       // a pending cell whose text is in _text already

uint32_t Number(uint64_t id) {
  return static_cast<uint32_t>(std::min<uint64_t>(id, UINT32_MAX));
}

// Case ignored, without making a string: this runs for every typed value taken.
bool SameUpper(std::string_view s, std::string_view upper) {
  if (s.size() != upper.size()) return false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i] >= 'a' && s[i] <= 'z' ? static_cast<char>(s[i] - 'a' + 'A') : s[i];
    if (c != upper[i]) return false;
  }
  return true;
}

uint8_t MeasureUnit(std::string_view keyword) {
  static constexpr std::pair<std::string_view, uint8_t> kMeasures[] = {
      {"IFCLENGTHMEASURE", kLength},
      {"IFCPOSITIVELENGTHMEASURE", kLength},
      {"IFCNONNEGATIVELENGTHMEASURE", kLength},
      {"IFCAREAMEASURE", kArea},
      {"IFCVOLUMEMEASURE", kVolume},
      {"IFCPLANEANGLEMEASURE", kAngle},
      {"IFCPOSITIVEPLANEANGLEMEASURE", kAngle},
      {"IFCMASSMEASURE", kMass},
      {"IFCTIMEMEASURE", kTime},
      {"IFCTHERMODYNAMICTEMPERATUREMEASURE", kTemperature}};
  for (const auto& [name, kind] : kMeasures)
    if (SameUpper(keyword, name)) return kind;
  return kNoUnit;
}

uint8_t QuantityUnit(std::string_view upperType) {
  if (upperType == "IFCQUANTITYLENGTH") return kLength;
  if (upperType == "IFCQUANTITYAREA") return kArea;
  if (upperType == "IFCQUANTITYVOLUME") return kVolume;
  if (upperType == "IFCQUANTITYWEIGHT") return kMass;
  if (upperType == "IFCQUANTITYTIME") return kTime;
  return kNoUnit;
}

uint8_t UnitKindOf(std::string_view unitEnum) {
  if (unitEnum == "LENGTHUNIT") return kLength;
  if (unitEnum == "AREAUNIT") return kArea;
  if (unitEnum == "VOLUMEUNIT") return kVolume;
  if (unitEnum == "PLANEANGLEUNIT") return kAngle;
  if (unitEnum == "MASSUNIT") return kMass;
  if (unitEnum == "TIMEUNIT") return kTime;
  if (unitEnum == "THERMODYNAMICTEMPERATUREUNIT") return kTemperature;
  return kNoUnit;
}

std::string SiSymbol(std::string_view prefix, std::string_view name) {
  static constexpr std::pair<std::string_view, std::string_view> kPrefixes[] = {
      {"EXA", "E"},  {"PETA", "P"},  {"TERA", "T"},  {"GIGA", "G"},
      {"MEGA", "M"}, {"KILO", "k"},  {"HECTO", "h"}, {"DECA", "da"},
      {"DECI", "d"}, {"CENTI", "c"}, {"MILLI", "m"}, {"MICRO", "\xC2\xB5"},
      {"NANO", "n"}, {"PICO", "p"},  {"FEMTO", "f"}, {"ATTO", "a"}};
  static constexpr std::pair<std::string_view, std::string_view> kNames[] = {
      {"METRE", "m"},
      {"SQUARE_METRE", "m\xC2\xB2"},
      {"CUBIC_METRE", "m\xC2\xB3"},
      {"GRAM", "g"},
      {"SECOND", "s"},
      {"RADIAN", "rad"},
      {"STERADIAN", "sr"},
      {"KELVIN", "K"},
      {"DEGREE_CELSIUS",
       "\xC2\xB0"
       "C"},
      {"AMPERE", "A"},
      {"NEWTON", "N"},
      {"PASCAL", "Pa"},
      {"JOULE", "J"},
      {"WATT", "W"},
      {"HERTZ", "Hz"},
      {"VOLT", "V"},
      {"LUMEN", "lm"},
      {"LUX", "lx"},
      {"CANDELA", "cd"},
      {"MOLE", "mol"}};
  std::string out;
  for (const auto& [word, symbol] : kPrefixes)
    if (word == prefix) out = symbol;
  for (const auto& [word, symbol] : kNames) {
    if (word == name) return out + std::string(symbol);
  }
  std::string lower(name);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out + lower;
}

// "3000." and "1.E-05" as a page reads numbers: "3000", "1E-05".
void AppendNumber(std::string_view token, std::string& out) {
  if (!token.empty() && token.front() == '+') token.remove_prefix(1);
  const std::size_t dot = token.find('.');
  if (dot != std::string_view::npos &&
      (dot + 1 == token.size() || token[dot + 1] == 'E' || token[dot + 1] == 'e')) {
    out.append(token.substr(0, dot));
    out.append(token.substr(dot + 1));
  } else {
    out.append(token);
  }
}

// A name as the file spells it, decoded only when it has escapes.
std::string_view DecodedName(std::string_view raw, std::string& scratch) {
  // A plain loop: find_first_of searches its set once per character of a name.
  bool plain = true;
  for (const char c : raw) plain &= c != '\\' && c != '\'';
  if (plain) return raw;
  scratch = StepString::Decode(raw);
  return scratch;
}

std::string_view NameOf(const StepParameters& p, std::size_t i, std::string& scratch) {
  const StepValue& v = p.Unwrap(p.At(i));
  return v.kind == StepKind::String ? DecodedName(v.text, scratch) : std::string_view();
}

// A name as the file spells it, escapes and all; empty when it is not a string.
std::string_view RawNameOf(const StepParameters& p, std::size_t i) {
  const StepValue& v = p.Unwrap(p.At(i));
  return v.kind == StepKind::String ? v.text : std::string_view();
}

std::string_view RawNameOf(const FlatParams& p, std::size_t i) {
  const FlatParams::Value& v = p.At(i);
  return v.kind == FlatParams::kString ? v.text : std::string_view();
}

}  // namespace

struct PropertyIndex::Taken {
  struct Ref {
    uint32_t offset = 0;
    uint32_t length = 0;
  };
  // 16 bytes: a large model has a few values per element.
  struct Value {
    uint32_t id = 0;
    Ref text;
    uint16_t name = 0;  // in names
    uint8_t kind = kNoValue;
    uint8_t unitKind = kNoUnit;  // kQuantityFlag for a quantity
  };
  struct Set {
    uint32_t id = 0;
    uint32_t name = 0;  // in names
    uint32_t first = 0;
    uint32_t count = 0;
  };
  struct Rel {
    uint8_t kind = kNone;
    uint32_t relating = 0;
    uint32_t first = 0;
    uint32_t count = 0;
  };
  struct Layer {
    Ref name;
    uint32_t first = 0;
    uint32_t count = 0;
  };
  enum Form : uint8_t { kProductShape, kRepresentation, kMappedItem };
  struct Shape {
    uint32_t id = 0;
    uint32_t first = 0;
    uint32_t count = 0;
    // A mapped item's one reference is its mapping source until Resolve makes it the
    // source's mapped representation (0 when there is none).
    uint8_t form = kRepresentation;
  };
  // A tag, object type or predefined type of an entity.
  struct Attribute {
    uint32_t id = 0;
    Ref text;
    uint8_t source = 0;  // Source; kSpatialPredefined for a spatial entity's
  };

  // A code for a property or set name, the same for the same name in this stretch;
  // kNoName once there are too many.
  uint32_t Name(std::string_view name) {
    const auto it = nameCodes.find(name);
    if (it != nameCodes.end()) return it->second;
    if (names.size() >= kNoName) return kNoName;
    nameCodes.emplace(name, static_cast<uint16_t>(names.size()));
    names.emplace_back(name);
    return static_cast<uint32_t>(names.size() - 1);
  }

  // Names met last, by their length and end bytes: a model's values and sets repeat a few
  // names, and comparing with the one met last costs less than hashing each.
  struct Seen {
    std::string name;
    uint32_t code = kNoName;
    bool used = false;
  };
  using Recent = std::array<Seen, 16>;
  // The code of a name, given as the file spells it, if `wanted` takes it, else kNoName. The
  // same spelling decodes the same way, so a name met last is not decoded again.
  template <class Wanted>
  uint32_t Code(Recent& recent, std::string_view raw, const Wanted& wanted) {
    const std::size_t slot = raw.empty() ? 0
                                         : (raw.size() + static_cast<unsigned char>(raw.front()) +
                                            static_cast<unsigned char>(raw.back()) * 3u) %
                                               recent.size();
    Seen& seen = recent[slot];
    if (seen.used && seen.name == raw) return seen.code;
    const std::string_view name = DecodedName(raw, scratch);
    seen.code = wanted(name) ? Name(name) : kNoName;
    seen.name.assign(raw);
    seen.used = true;
    return seen.code;
  }
  bool Unnamed(uint32_t code) const { return code == kNoName || names[code].empty(); }

  Ref Store(std::string_view s) {
    Ref r{static_cast<uint32_t>(text.size()), static_cast<uint32_t>(s.size())};
    text.append(s);
    return r;
  }
  // Sized from the file on the first record taken, as the tree's tables are: regrowing copies
  // a table and touches fresh pages, and capacity never written costs no memory.
  // With `huge`, the tables take 2 MiB pages: far fewer first-touch faults, for up to one
  // such page a table that is never filled.
  void Reserve(std::size_t bytes, bool properties, bool products, bool huge) {
    sized = true;
    // Whole huge pages from the first byte: the heap's blocks begin in small ones.
    const ChosenPagesAllocator<char> pages(huge);
    if (properties) {
      values = decltype(values)(pages);
      values.reserve(bytes / 256 + 16);
      sets = decltype(sets)(pages);
      sets.reserve(bytes / 1024 + 16);
    }
    if (products) {
      attributes = decltype(attributes)(pages);
      attributes.reserve(bytes / 512 + 16);
    }
    rels = decltype(rels)(pages);
    rels.reserve(bytes / 1024 + 16);
    refs = decltype(refs)(pages);
    refs.reserve(bytes / 256 + 16);
    text.reserve(bytes / 32 + 256);
    if (huge) AdviseHugePages(text.data(), text.capacity());
  }
  // Once the stretch is read, the room past the end of each table goes back to the kernel.
  void ReleaseRoom() const {
    ReleaseUnusedRoom(values);
    ReleaseUnusedRoom(sets);
    ReleaseUnusedRoom(attributes);
    ReleaseUnusedRoom(rels);
    ReleaseUnusedRoom(refs);
    ReleaseUnusedRoom(text);  // the page of its terminating zero stays: only whole pages go
  }
  // Offsets are 32 bits: a stretch keeps less text than that, or stops taking values.
  bool Full() const { return text.size() > UINT32_MAX / 2; }
  Ref StoreDecoded(std::string_view raw) {
    Ref r{static_cast<uint32_t>(text.size()), 0};
    StepString::DecodeAppend(raw, text);
    r.length = static_cast<uint32_t>(text.size() - r.offset);
    return r;
  }
  std::string_view View(Ref r) const { return {text.data() + r.offset, r.length}; }
  // The references of a list value, appended to refs.
  void Refs(const StepParameters& p, const StepValue& list, uint32_t& first, uint32_t& count) {
    first = static_cast<uint32_t>(refs.size());
    for (const StepValue& item : p.Items(p.Unwrap(list)))
      if (item.kind == StepKind::Reference) refs.push_back(Number(item.reference));
    count = static_cast<uint32_t>(refs.size()) - first;
  }
  void Refs(const FlatParams& p, const FlatParams::Value& list, uint32_t& first, uint32_t& count) {
    first = static_cast<uint32_t>(refs.size());
    count = list.kind == FlatParams::kList ? list.count : 0;
    for (uint32_t k = list.first; k < list.first + count; ++k) refs.push_back(Number(p.refs[k]));
  }

  std::string text;
  ChosenTable<Value> values;
  ChosenTable<Set> sets;
  ChosenTable<Rel> rels;
  std::vector<Layer> layers;
  std::vector<Shape> shapes;
  std::vector<std::pair<uint32_t, uint32_t>> units;  // (value index, explicit unit)
  ChosenTable<Attribute> attributes;
  std::vector<std::pair<uint32_t, uint32_t>> productShapes;  // (entity, its shape)
  std::vector<uint32_t> unitAssignment;                      // the first one's units
  std::unordered_map<std::string, uint16_t, NameHash, std::equal_to<>> nameCodes;
  Recent recentProperties, recentSets;
  std::vector<std::string> names;
  ChosenTable<uint32_t> refs;
  bool sized = false;
  StepParameters params;
  FlatParams flat;  // the quick reader first; params when it cannot tell
  std::string scratch;
};

namespace {

// A logical is true, false or no value; any other enumeration is its name.
uint8_t AppendEnum(std::string_view name, std::string& out) {
  if (name == "T" || name == "TRUE") {
    out += "true";
    return kBooleanValue;
  }
  if (name == "F" || name == "FALSE") {
    out += "false";
    return kBooleanValue;
  }
  if (name == "U" || name == "UNKNOWN") return kNoValue;
  out.append(name);
  return kTextValue;
}

// Appends the text of one value (IFCBOOLEAN(.T.), IFCLENGTHMEASURE(3.), 'text', ...) and
// tells what it is; a logical "unknown" and anything unset are no value.
uint8_t AppendValue(const StepParameters& p, const StepValue& raw, std::string& out,
                    uint8_t& unitKind) {
  if (raw.kind == StepKind::Typed) unitKind = MeasureUnit(raw.text);
  const StepValue& v = p.Unwrap(raw);
  switch (v.kind) {
    case StepKind::Enum:
      return AppendEnum(v.text, out);
    case StepKind::Integer:
    case StepKind::Real:
      AppendNumber(v.text, out);
      return kNumberValue;
    case StepKind::String:
      StepString::DecodeAppend(v.text, out);
      return kTextValue;
    default:
      return kNoValue;
  }
}

// The same for a value the quick reader read.
uint8_t AppendValue(const FlatParams::Value& v, std::string& out, uint8_t& unitKind) {
  if (!v.type.empty()) unitKind = MeasureUnit(v.type);
  switch (v.kind) {
    case FlatParams::kEnum:
      return AppendEnum(v.text, out);
    case FlatParams::kNumber:
      AppendNumber(v.text, out);
      return kNumberValue;
    case FlatParams::kString:
      StepString::DecodeAppend(v.text, out);
      return kTextValue;
    default:
      return kNoValue;
  }
}

}  // namespace

PropertyIndex::PropertyIndex(const StepFile& file, StepRecordSink& tree,
                             std::span<const std::string> columns)
    : _file(file), _tree(tree) {
  _taken[0] = std::make_unique<Taken>();
  _taken[1] = std::make_unique<Taken>();
  for (const std::string& name : columns) {
    if (name == kEveryColumn) {
      _every = true;
      continue;
    }
    if (_columnByName.count(name) != 0) continue;
    bool named = false;
    for (std::size_t i = 0; i < std::size(kNamedColumns); ++i) {
      if (name != kNamedColumns[i]) continue;
      AddColumn(name, static_cast<Source>(i + 1));
      named = true;
    }
    if (named) continue;
    // "Set.Property"; either name may hold dots of its own, so every split is a candidate.
    const int column = name.find('.') != std::string::npos ? AddColumn(name, Source::Property) : -1;
    for (std::size_t dot = name.find('.'); column >= 0 && dot != std::string::npos;
         dot = name.find('.', dot + 1)) {
      if (dot == 0 || dot + 1 == name.size()) continue;
      _wantedProperties[name.substr(dot + 1)].emplace_back(name.substr(0, dot), column);
      _wantedSets.insert(name.substr(0, dot));
    }
  }
  for (const Column& c : _columns) {
    _wantMaterial |= c.source == Source::Material;
    _wantClassification |= c.source == Source::Classification;
    _wantLayer |= c.source == Source::Layer;
    _wantTag |= c.source == Source::Tag;
    _wantObjectType |= c.source == Source::ObjectType;
    _wantPredefined |= c.source == Source::PredefinedType;
  }
  if (_every) {
    _wantMaterial = _wantClassification = _wantLayer = true;
    _wantTag = _wantObjectType = _wantPredefined = true;
  }
}

PropertyIndex::~PropertyIndex() = default;

int PropertyIndex::AddColumn(std::string name, Source source) {
  const auto [it, added] = _columnByName.emplace(name, static_cast<int>(_columns.size()));
  if (added) {
    Column& c = _columns.emplace_back();
    c.name = std::move(name);
    c.source = source;
  }
  return it->second;
}

int PropertyIndex::ColumnIndex(std::string_view name) const {
  const auto it = _columnByName.find(name);
  return it == _columnByName.end() ? -1 : it->second;
}

uint8_t PropertyIndex::Select(std::string_view upper) const {
  const uint8_t tree = _tree.Select(upper);
  const bool properties = _every || !_wantedProperties.empty();
  uint8_t kind = kNone;
  if (properties) {
    if (upper == "IFCPROPERTYSET")
      kind = kPropertySet;
    else if (upper == "IFCELEMENTQUANTITY")
      kind = kElementQuantity;
    else if (upper == "IFCPROPERTYSINGLEVALUE")
      kind = kSingleValue;
    else if (upper == "IFCPROPERTYENUMERATEDVALUE")
      kind = kEnumeratedValue;
    else if (upper == "IFCPROPERTYBOUNDEDVALUE")
      kind = kBoundedValue;
    else if (upper == "IFCPROPERTYLISTVALUE")
      kind = kListValue;
    else if (QuantityUnit(upper) != kNoUnit || upper == "IFCQUANTITYCOUNT" ||
             upper == "IFCQUANTITYNUMBER")
      kind = kQuantity;
    else if (upper == "IFCRELDEFINESBYPROPERTIES")
      kind = kRelProperties;
    else if (upper == "IFCUNITASSIGNMENT")
      kind = kUnitAssignment;
  }
  if ((properties || _wantMaterial || _wantClassification || _wantLayer) &&
      upper == "IFCRELDEFINESBYTYPE")
    kind = kRelType;
  if ((_wantMaterial && upper == "IFCRELASSOCIATESMATERIAL") ||
      (_wantClassification && upper == "IFCRELASSOCIATESCLASSIFICATION"))
    kind = kRelAssociates;
  if (_wantLayer) {
    if (upper == "IFCPRESENTATIONLAYERASSIGNMENT" || upper == "IFCPRESENTATIONLAYERWITHSTYLE")
      kind = kLayerAssignment;
    else if (upper == "IFCPRODUCTDEFINITIONSHAPE" || upper == "IFCSHAPEREPRESENTATION" ||
             upper == "IFCMAPPEDITEM")
      kind = kShape;
  }
  if (_wantLayer || _wantTag || _wantObjectType || _wantPredefined) {
    const uint8_t roles = TypeCatalog::Lookup(upper).roles;
    if ((roles & TypeCatalog::kFeature) == 0) {
      // A spatial entity has no Tag: with only that asked, it is not worth reading.
      const bool readSpatial = _wantLayer || _wantObjectType || _wantPredefined;
      if ((roles & TypeCatalog::kElement) != 0)
        kind = kElementProduct;
      else if (readSpatial && (roles & TypeCatalog::kSpatial) != 0)
        kind = kSpatialProduct;
    }
  }
  return static_cast<uint8_t>((tree & kTreeMask) | (kind << 4));
}

void PropertyIndex::Take(unsigned thread, uint32_t slot, const StepEntry& entry, uint8_t tag,
                         std::string_view body) {
  if ((tag & kTreeMask) != 0) _tree.Take(thread, slot, entry, tag & kTreeMask, body);
  const uint8_t kind = tag >> 4;
  if (kind == kNone || entry.complex) return;
  Taken& t = *_taken[thread];
  if (!t.sized) {
    // Each thread reads about half the file. Discovery takes every value and keeps the
    // pages it does not fill small: its peak is the higher one.
    t.Reserve(_file.Bytes().size() / 2, _every || !_wantedProperties.empty(),
              _wantTag || _wantObjectType || _wantPredefined, !_every);
  }
  StepParameters& p = t.params;
  switch (kind) {
    case kSingleValue:
    case kEnumeratedValue:
    case kBoundedValue:
    case kListValue:
    case kQuantity: {
      // Single values and quantities mostly suit the quick reader, up to their unit.
      // Description (1) is never shown.
      const bool quick = (kind == kSingleValue || kind == kQuantity) &&
                         t.flat.Read(body, 3, true, FlatParams::kProperty);
      const auto wanted = [this](std::string_view name) {
        return _every || _wantedProperties.count(name) != 0;
      };
      // Most of a model's properties are not asked for: their name is read before the rest.
      uint32_t code = kNoName;
      if (quick || t.flat.Read(body, 0)) {
        code = t.Code(t.recentProperties, RawNameOf(t.flat, 0), wanted);
        if (code == kNoName) return;
      }
      // Name, Description, then the value(s); a quantity has its unit before its value.
      if (!quick) {
        p.Parse(body, kind == kBoundedValue ? 5 : 3);
        code = t.Code(t.recentProperties, RawNameOf(p, 0), wanted);
      }
      if (t.Unnamed(code) || t.Full()) return;
      Taken::Value v;
      v.id = entry.id;
      v.name = static_cast<uint16_t>(code);
      v.text.offset = static_cast<uint32_t>(t.text.size());
      uint64_t unit = 0;
      uint8_t unitKind = kNoUnit;
      const auto flatReference = [&](std::size_t i) {
        const FlatParams::Value& ref = t.flat.At(i);
        if (ref.kind == FlatParams::kReference) unit = ref.reference;
      };
      if (kind == kSingleValue && quick) {
        v.kind = AppendValue(t.flat.At(2), t.text, unitKind);
        flatReference(3);
      } else if (kind == kSingleValue) {
        v.kind = AppendValue(p, p.At(2), t.text, unitKind);
        p.Reference(3, unit);
      } else if (kind == kQuantity && quick) {
        unitKind = kQuantityFlag;
        if (t.flat.At(3).kind == FlatParams::kNumber) {
          AppendNumber(t.flat.At(3).text, t.text);
          v.kind = kNumberValue;
        }
        flatReference(2);
      } else if (kind == kQuantity) {
        unitKind = kQuantityFlag;
        const StepValue& number = p.Unwrap(p.At(3));
        if (number.IsNumber()) {
          AppendNumber(number.text, t.text);
          v.kind = kNumberValue;
        }
        p.Reference(2, unit);
      } else if (kind == kBoundedValue) {
        // Upper, Lower, Unit, SetPoint: "set point (lower..upper)".
        std::string lower, upper, setPoint;
        uint8_t ignored = kNoUnit;
        const bool hasLower = AppendValue(p, p.At(3), lower, unitKind) != kNoValue;
        const bool hasUpper = AppendValue(p, p.At(2), upper, unitKind) != kNoValue;
        const bool hasSetPoint = AppendValue(p, p.At(5), setPoint, ignored) != kNoValue;
        if (hasLower || hasUpper) {
          if (hasSetPoint) t.text.append(setPoint).append(" (");
          t.text.append(lower).append("..").append(upper);
          if (hasSetPoint) t.text.append(")");
          v.kind = kTextValue;
        } else if (hasSetPoint) {
          t.text.append(setPoint);
          v.kind = kTextValue;
        }
        p.Reference(4, unit);
      } else {
        // Enumerated and list values: the items in order.
        bool any = false;
        for (const StepValue& item : p.Items(p.Unwrap(p.At(2)))) {
          const std::size_t mark = t.text.size();
          if (any) t.text.append(", ");
          if (AppendValue(p, item, t.text, unitKind) == kNoValue) {
            t.text.resize(mark);
            continue;
          }
          any = true;
        }
        if (any) v.kind = kTextValue;
        if (kind == kListValue) p.Reference(3, unit);
      }
      if (v.kind == kNoValue) {
        t.text.resize(v.text.offset);
        return;
      }
      v.text.length = static_cast<uint32_t>(t.text.size()) - v.text.offset;
      v.unitKind = unitKind;
      if (unit != 0) t.units.emplace_back(static_cast<uint32_t>(t.values.size()), Number(unit));
      t.values.push_back(v);
      return;
    }
    case kPropertySet:
    case kElementQuantity: {
      const std::size_t list = kind == kPropertySet ? 4 : 5;
      const bool flat = t.flat.Read(body, list, false, 1u << 2 | 1u << list);
      if (!flat) p.Parse(body, list);
      Taken::Set s;
      s.id = entry.id;
      const std::string_view name = flat ? RawNameOf(t.flat, 2) : RawNameOf(p, 2);
      s.name = t.Code(t.recentSets, name, [this](std::string_view set) {
        return _every || _wantedSets.count(set) != 0;
      });
      if (s.name == kNoName) return;
      if (flat)
        t.Refs(t.flat, t.flat.At(list), s.first, s.count);
      else
        t.Refs(p, p.At(list), s.first, s.count);
      t.sets.push_back(s);
      return;
    }
    case kRelProperties:
    case kRelType:
    case kRelAssociates: {
      // RelatedObjects, then the relating definition, material or classification.
      Taken::Rel r;
      r.kind = kind;
      if (t.flat.Read(body, 5, false, 1u << 4 | 1u << 5)) {
        t.Refs(t.flat, t.flat.At(4), r.first, r.count);
        const FlatParams::Value& relating = t.flat.At(5);
        if (relating.kind == FlatParams::kReference) {
          r.relating = Number(relating.reference);
          t.rels.push_back(r);
        } else if (relating.kind == FlatParams::kList) {
          // A set of property sets (IfcPropertySetDefinitionSet): one relation each.
          for (uint32_t k = relating.first; k < relating.first + relating.count; ++k) {
            r.relating = Number(t.flat.refs[k]);
            t.rels.push_back(r);
          }
        }
        return;
      }
      p.Parse(body, 5);
      t.Refs(p, p.At(4), r.first, r.count);
      const StepValue& relating = p.Unwrap(p.At(5));
      if (relating.kind == StepKind::Reference) {
        r.relating = Number(relating.reference);
        t.rels.push_back(r);
      } else {
        // A set of property sets (IfcPropertySetDefinitionSet): one relation each.
        for (const StepValue& item : p.Items(relating)) {
          if (item.kind != StepKind::Reference) continue;
          r.relating = Number(item.reference);
          t.rels.push_back(r);
        }
      }
      return;
    }
    case kLayerAssignment: {
      p.Parse(body, 2);
      Taken::Layer l;
      l.name = t.Store(NameOf(p, 0, t.scratch));
      t.Refs(p, p.At(2), l.first, l.count);
      if (l.name.length != 0) t.layers.push_back(l);
      return;
    }
    case kShape: {
      // IfcProductDefinitionShape(Name, Description, Representations),
      // IfcShapeRepresentation(Context, Identifier, Type, Items) or
      // IfcMappedItem(MappingSource, MappingTarget).
      p.Parse(body, 3);
      Taken::Shape s;
      s.id = entry.id;
      if (p.At(2).kind == StepKind::List) {
        s.form = Taken::kProductShape;
        t.Refs(p, p.At(2), s.first, s.count);
      } else if (p.At(3).kind == StepKind::List) {
        t.Refs(p, p.At(3), s.first, s.count);
      } else {
        uint64_t source = 0;
        if (p.size() != 2 || !p.Reference(0, source)) return;
        s.form = Taken::kMappedItem;
        s.first = static_cast<uint32_t>(t.refs.size());
        s.count = 1;
        t.refs.push_back(Number(source));
      }
      if (s.count != 0) t.shapes.push_back(s);
      return;
    }
    case kSpatialProduct:
    case kElementProduct: {
      // ObjectType 4, Representation 6, Tag 7 (elements); the predefined type is the first
      // enumeration after the supertypes' attributes (past CompositionType for spatial ones).
      const bool spatial = kind == kSpatialProduct;
      if (t.Full()) return;
      // Only what is asked for is kept; the rest is checked and passed over.
      const uint32_t keep = (_wantObjectType ? 1u << 4 : 0u) | (_wantLayer ? 1u << 6 : 0u) |
                            (_wantTag && !spatial ? 1u << 7 : 0u);
      if (!_wantPredefined && t.flat.Read(body, 7, false, keep)) {
        uint64_t shape = 0;
        if (_wantLayer && t.flat.At(6).kind == FlatParams::kReference) {
          shape = t.flat.At(6).reference;
          t.productShapes.emplace_back(entry.id, Number(shape));
        }
        const FlatParams::Value& objectType = t.flat.At(4);
        if (_wantObjectType && objectType.kind == FlatParams::kString) {
          t.attributes.push_back({entry.id, t.StoreDecoded(objectType.text),
                                  static_cast<uint8_t>(Source::ObjectType)});
        }
        const FlatParams::Value& tag = t.flat.At(7);
        if (_wantTag && !spatial && tag.kind == FlatParams::kString) {
          t.attributes.push_back(
              {entry.id, t.StoreDecoded(tag.text), static_cast<uint8_t>(Source::Tag)});
        }
        return;
      }
      p.Parse(body, _wantPredefined ? StepParameters::kAll : 7);
      uint64_t shape = 0;
      if (_wantLayer && p.Reference(6, shape))
        t.productShapes.emplace_back(entry.id, Number(shape));
      const StepValue& objectType = p.Unwrap(p.At(4));
      if (_wantObjectType && objectType.kind == StepKind::String) {
        t.attributes.push_back(
            {entry.id, t.StoreDecoded(objectType.text), static_cast<uint8_t>(Source::ObjectType)});
      }
      const StepValue& tag = p.Unwrap(p.At(7));
      if (_wantTag && !spatial && tag.kind == StepKind::String)
        t.attributes.push_back(
            {entry.id, t.StoreDecoded(tag.text), static_cast<uint8_t>(Source::Tag)});
      if (_wantPredefined) {
        for (std::size_t i = spatial ? 9 : 8; i < p.size(); ++i) {
          if (p[i].kind != StepKind::Enum) continue;
          const auto source = static_cast<uint8_t>(Source::PredefinedType);
          t.attributes.push_back(
              {entry.id, t.Store(p[i].text),
               static_cast<uint8_t>(spatial ? source | kSpatialPredefined : source)});
          break;
        }
      }
      return;
    }
    case kUnitAssignment: {
      if (!t.unitAssignment.empty()) return;
      p.Parse(body, 0);
      for (const StepValue& item : p.Items(p.At(0)))
        if (item.kind == StepKind::Reference) t.unitAssignment.push_back(Number(item.reference));
      return;
    }
    default:
      return;
  }
}

void PropertyIndex::Adopt(uint32_t firstSlot, std::span<const uint16_t> typeCodes) {
  _tree.Adopt(firstSlot, typeCodes);
  // Nothing here depends on slots or type codes; the stretch read ahead follows in file order.
  _taken[0]->ReleaseRoom();
  _taken[1]->ReleaseRoom();
  _segments.push_back(std::move(_taken[0]));
  _segments.push_back(std::move(_taken[1]));
  _taken[0] = std::make_unique<Taken>();
  _taken[1] = std::make_unique<Taken>();
}

void PropertyIndex::Discard() {
  _tree.Discard();
  _taken[1] = std::make_unique<Taken>();
}

// ---- after indexing ----------------------------------------------------------------------

int PropertyIndex::NamedColumn(Source source) {
  const std::string_view name = kNamedColumns[static_cast<std::size_t>(source) - 1];
  if (_every) {
    const int column = AddColumn(std::string(name), source);
    _stats.resize(_columns.size());
    return column;
  }
  return ColumnIndex(name);
}

std::string_view PropertyIndex::PendingText(const Pending& p) const {
  const std::string& text = p.segment == kInText ? _text : _segments[p.segment]->text;
  return {text.data() + p.offset, p.length};
}

void PropertyIndex::Indexed() {
  if (!_taken[0]) return;
  _taken[0]->ReleaseRoom();
  _segments.push_back(std::move(_taken[0]));
}

void PropertyIndex::Resolve() {
  if (_taken[0]) _segments.push_back(std::move(_taken[0]));
  _taken[0].reset();
  _taken[1].reset();
  // The project's units (the first unit assignment in the file), and units given explicitly.
  for (const auto& segment : _segments) {
    if (segment->unitAssignment.empty()) continue;
    for (const uint32_t unit : segment->unitAssignment) {
      const StepEntry* e = _file.Find(unit);
      if (e == nullptr || e->complex || !_file.Decode(*e, _params, 1)) continue;
      const StepValue& type = _params.At(1);
      const uint8_t kind = type.kind == StepKind::Enum ? UnitKindOf(type.text) : uint8_t{kNoUnit};
      if (kind != kNoUnit && _unitByKind.count(kind) == 0)
        _unitByKind.emplace(kind, UnitName(unit));
    }
    break;
  }
  for (const auto& segment : _segments) {
    for (const auto& [value, unit] : segment->units)
      if (_unitNames.count(unit) == 0) _unitNames.emplace(unit, UnitName(unit));
    // A quantity's kind of unit is in its type's name.
    for (Taken::Value& v : segment->values) {
      if ((v.unitKind & kQuantityFlag) == 0) continue;
      const StepEntry* e = _file.Find(v.id);
      v.unitKind = e != nullptr ? QuantityUnit(_file.TypeName(*e)) : uint8_t{kNoUnit};
    }
  }
  // Object -> its type, sorted by object (packed in one number, so sorting is cheap).
  for (const auto& segment : _segments) {
    for (const Taken::Rel& r : segment->rels) {
      if (r.kind != kRelType) continue;
      for (uint32_t k = r.first; k < r.first + r.count; ++k)
        _typeOf.push_back((uint64_t{segment->refs[k]} << 32) | r.relating);
    }
  }
  std::sort(_typeOf.begin(), _typeOf.end());
  // Each type once: its own sets (HasPropertySets, the sixth attribute) and, for layers, its
  // representation maps (RepresentationMaps, IfcTypeProduct's seventh in every schema read).
  const bool wantSets = _every || !_wantedProperties.empty();
  if (_wantLayer) {
    // Mapped items lead to a representation map: read here, while the index is still there,
    // down to the representation mapped.
    for (const auto& segment : _segments)
      for (const Taken::Shape& shape : segment->shapes)
        if (shape.form == Taken::kMappedItem)
          segment->refs[shape.first] = MappedRepresentation(segment->refs[shape.first]);
  }
  if (wantSets || _wantLayer) {
    const std::size_t last = _wantLayer ? 6 : 5;
    std::vector<uint32_t> maps;
    uint32_t lastType = 0;
    for (const uint64_t pair : _typeOf) {
      const auto type = static_cast<uint32_t>(pair);
      if (type == lastType) continue;
      lastType = type;
      const StepEntry* e = _file.Find(type);
      if (e == nullptr || e->complex) continue;
      const bool whole = _file.Decode(*e, _params, last);
      // A record damaged after its sets still gives them, as when only sets are read.
      if (!whole && (last == 5 || !wantSets || !_file.Decode(*e, _params, 5))) continue;
      if (wantSets) {
        for (const StepValue& item : _params.Items(_params.Unwrap(_params.At(5))))
          if (item.kind == StepKind::Reference)
            _typeSets.push_back((uint64_t{type} << 32) | Number(item.reference));
      }
      if (!_wantLayer || !whole) continue;
      // Copied out first: reading the maps decodes other records into _params.
      maps.clear();
      for (const StepValue& item : _params.Items(_params.Unwrap(_params.At(6))))
        if (item.kind == StepKind::Reference) maps.push_back(Number(item.reference));
      for (const uint32_t map : maps)
        if (const uint32_t rep = MappedRepresentation(map); rep != 0)
          _typeMaps.push_back((uint64_t{type} << 32) | rep);
    }
    std::sort(_typeMaps.begin(), _typeMaps.end());
  }
  // The text of each material and classification, once.
  _stats.resize(_columns.size());
  for (const auto& segment : _segments) {
    for (const Taken::Rel& r : segment->rels) {
      if (r.kind != kRelAssociates) continue;
      auto [it, added] = _relating.try_emplace(r.relating);
      if (!added) continue;
      Pending& text = it->second;
      text.column = UINT32_MAX;
      const StepEntry* e = _file.Find(r.relating);
      const std::string_view type = e != nullptr ? _file.TypeName(*e) : std::string_view();
      std::string value;
      int column = -1;
      if (type.substr(0, 11) == "IFCMATERIAL") {
        column = _wantMaterial ? NamedColumn(Source::Material) : -1;
        int budget = kMaterialBudget;
        if (column >= 0) value = MaterialText(r.relating, 0, budget);
      } else if (type.substr(0, 17) == "IFCCLASSIFICATION") {
        column = _wantClassification ? NamedColumn(Source::Classification) : -1;
        if (column >= 0) value = ClassificationText(r.relating);
      }
      if (column < 0 || value.empty() || _text.size() + value.size() > UINT32_MAX) continue;
      text.column = static_cast<uint32_t>(column);
      text.segment = kInText;
      text.offset = static_cast<uint32_t>(_text.size());
      text.length = static_cast<uint32_t>(value.size());
      _text.append(value);
    }
  }
}

void PropertyIndex::Build() {
  _stats.resize(_columns.size());
  // At most one candidate cell a value, attribute, association or shape (types' values may
  // add to it): a few columns' tables are sized for that once, in huge pages, rather than
  // regrown; capacity never written costs no memory. Many columns (discovery) would each
  // keep a part-filled huge page: their tables grow on the heap.
  constexpr std::size_t kHugeColumns = 8;
  _pending.clear();
  if (!_every && _columns.size() <= kHugeColumns) {
    std::size_t cells = 0;
    for (const auto& segment : _segments) {
      cells += segment->values.size() + segment->attributes.size() + segment->productShapes.size();
      for (const Taken::Rel& r : segment->rels)
        if (r.kind == kRelAssociates) cells += r.count;
    }
    for (std::size_t c = 0; c < _columns.size(); ++c) {
      _pending.emplace_back(ChosenPagesAllocator<Pending>(true));
      _pending.back().reserve(cells);
    }
  }
  BuildProperties();
  BuildAssociations();
  BuildProducts();
  Finish();
}

void PropertyIndex::BuildProperties() {
  if (!_every && _wantedProperties.empty()) return;
  // The values by id. Writers mostly number upwards through the file: the stretches' values
  // are then in id order as they stand and are searched in place. Otherwise a table of where
  // each one is gets sorted by id.
  struct ValueAt {
    uint32_t id, segment, index;
  };
  bool inPlace = true;
  std::size_t valueCount = 0;
  {
    uint32_t last = 0;
    for (const auto& segment : _segments) {
      valueCount += segment->values.size();
      for (const Taken::Value& v : segment->values) {
        inPlace = inPlace && v.id >= last;
        last = v.id;
      }
    }
  }
  Table<ValueAt> values;
  if (!inPlace) {
    values.reserve(valueCount);
    for (uint32_t s = 0; s < _segments.size(); ++s) {
      const auto& vs = _segments[s]->values;
      for (uint32_t i = 0; i < vs.size(); ++i) values.push_back({vs[i].id, s, i});
    }
    std::sort(values.begin(), values.end(),
              [](const ValueAt& a, const ValueAt& b) { return a.id < b.id; });
  }
  // Where the first value with an id is, as a search of all of them in id order finds it.
  // Writers put a set's values just before it, in order: the value after the last one found
  // is tried before a search.
  ValueAt next{0, 0, 0};  // id unused; in place, the segment is past the last when none is left
  // In place, next moves on past stretches without values.
  auto settle = [&] {
    while (inPlace && next.segment < _segments.size() &&
           next.index >= _segments[next.segment]->values.size())
      next = {0, next.segment + 1, 0};
  };
  settle();
  auto findValue = [&](uint32_t id, ValueAt& found) {
    if (!inPlace) {
      const ValueAt* at = values.data() + next.index;
      if (next.index >= values.size() || at->id != id) {
        at = std::lower_bound(values.data(), values.data() + values.size(), id,
                              [](const ValueAt& v, uint32_t n) { return v.id < n; });
        if (at == values.data() + values.size() || at->id != id) return false;
      }
      found = *at;
      next.index = static_cast<uint32_t>(at - values.data()) + 1;
      return true;
    }
    const auto valueId = [this](uint32_t s, uint32_t i) { return _segments[s]->values[i].id; };
    if (next.segment < _segments.size() && valueId(next.segment, next.index) == id) {
      found = next;
    } else {
      uint32_t s = 0;
      while (s < _segments.size() &&
             (_segments[s]->values.empty() || _segments[s]->values.back().id < id))
        ++s;
      if (s == _segments.size()) return false;
      const auto& vs = _segments[s]->values;
      const auto it = std::lower_bound(vs.begin(), vs.end(), id,
                                       [](const Taken::Value& v, uint32_t n) { return v.id < n; });
      if (it->id != id) return false;
      found = {id, s, static_cast<uint32_t>(it - vs.begin())};
    }
    next = {0, found.segment, found.index + 1};
    settle();
    return true;
  };
  // Explicit units, by value.
  std::unordered_map<uint64_t, uint32_t> unitOf;
  for (uint32_t s = 0; s < _segments.size(); ++s)
    for (const auto& [value, unit] : _segments[s]->units)
      unitOf.emplace((uint64_t{s} << 32) | value, unit);

  // The values of each set that make columns: (set, column, value), by set.
  struct Entry {
    uint32_t set, column, segment, index;
  };
  Table<Entry> entries;
  entries.reserve(valueCount);
  std::string key;
  // Set names as small numbers: a value's wanted sets are compared with its set's number, not
  // its name, and a set that no column names is passed over whole.
  constexpr int kNotWanted = -1, kNotLooked = -2;
  using Numbered = std::vector<std::pair<int, int>>;  // (set number, column)
  std::unordered_map<std::string_view, int> setNumbers;
  std::unordered_map<std::string_view, Numbered> wantedNumbers;  // by property name
  for (const auto& [property, wanted] : _wantedProperties) {
    Numbered& numbered = wantedNumbers[property];
    for (const auto& [set, column] : wanted) {
      const auto number = static_cast<int>(setNumbers.size());
      numbered.emplace_back(setNumbers.emplace(set, number).first->second, column);
    }
  }
  // The wanted sets of each property name code, and the number of each set name code, of
  // each segment: looked up once a code.
  static const Numbered kNotLookedUp;
  std::vector<std::vector<const Numbered*>> wantedOf(_segments.size());
  auto wantedSets = [&](uint32_t segment, uint16_t code) {
    std::vector<const Numbered*>& known = wantedOf[segment];
    if (known.empty()) known.assign(_segments[segment]->names.size(), &kNotLookedUp);
    if (known[code] == &kNotLookedUp) {
      const auto it = wantedNumbers.find(_segments[segment]->names[code]);
      known[code] = it == wantedNumbers.end() ? nullptr : &it->second;
    }
    return known[code];
  };
  std::vector<std::vector<int>> setNumberOf(_segments.size());
  auto setNumber = [&](uint32_t segment, uint32_t code) {
    std::vector<int>& known = setNumberOf[segment];
    if (known.empty()) known.assign(_segments[segment]->names.size(), kNotLooked);
    if (known[code] == kNotLooked) {
      const auto it = setNumbers.find(_segments[segment]->names[code]);
      known[code] = it == setNumbers.end() ? kNotWanted : it->second;
    }
    return known[code];
  };
  for (uint32_t s = 0; s < _segments.size(); ++s) {
    const auto& segment = _segments[s];
    for (const Taken::Set& set : segment->sets) {
      const std::string& setName = segment->names[set.name];
      const int number = _every ? kNotWanted : setNumber(s, set.name);
      if (!_every && number == kNotWanted) continue;
      for (uint32_t k = set.first; k < set.first + set.count; ++k) {
        ValueAt at;
        if (!findValue(segment->refs[k], at)) continue;
        const Taken& owner = *_segments[at.segment];
        const uint16_t nameCode = owner.values[at.index].name;
        int column = -1;
        if (_every) {
          key.assign(setName).append(".").append(owner.names[nameCode]);
          column = AddColumn(key, Source::Property);
          _stats.resize(_columns.size());
        } else if (const Numbered* wanted = wantedSets(at.segment, nameCode)) {
          for (const auto& [wantedSet, wantedColumn] : *wanted)
            if (wantedSet == number) column = wantedColumn;
        }
        if (column >= 0)
          entries.push_back({set.id, static_cast<uint32_t>(column), at.segment, at.index});
      }
    }
  }
  decltype(values)().swap(values);
  // Sets mostly come in file order, so the entries are often in order already.
  auto bySet = [](const Entry& a, const Entry& b) { return a.set < b.set; };
  if (!std::is_sorted(entries.begin(), entries.end(), bySet))
    std::stable_sort(entries.begin(), entries.end(), bySet);
  if (entries.empty()) return;

  // Relationships mostly follow their sets in the file: the entries after the last set's
  // are tried before a search.
  auto nextEntry = entries.begin();
  auto emitSet = [&](uint32_t instance, uint32_t set, uint32_t order) {
    auto it = nextEntry;
    if (it == entries.end() || it->set != set || (it != entries.begin() && (it - 1)->set == set))
      it = std::lower_bound(entries.begin(), entries.end(), set,
                            [](const Entry& e, uint32_t n) { return e.set < n; });
    for (; it != entries.end() && it->set == set; ++it) {
      const Taken::Value& v = _segments[it->segment]->values[it->index];
      Put({it->column, instance, order, it->segment, v.text.offset, v.text.length});
      Stats& st = _stats[it->column];
      st.booleans += v.kind == kBooleanValue;
      st.numbers += v.kind == kNumberValue;
      st.texts += v.kind == kTextValue;
      if (st.unit == 0 && !unitOf.empty()) {
        const auto unit = unitOf.find((uint64_t{it->segment} << 32) | it->index);
        if (unit != unitOf.end()) st.unit = unit->second;
      }
      if (st.unitKind == kNoUnit) st.unitKind = v.unitKind;
    }
    nextEntry = it;
  };

  // The entities' own sets, in file order of their relationships.
  std::vector<uint64_t> ownSets;  // (object, set)
  uint32_t order = 0;
  for (const auto& segment : _segments) {
    for (const Taken::Rel& r : segment->rels) {
      if (r.kind != kRelProperties) continue;
      ++order;
      for (uint32_t k = r.first; k < r.first + r.count; ++k) {
        emitSet(segment->refs[k], r.relating, order);
        if (!_typeOf.empty()) ownSets.push_back((uint64_t{segment->refs[k]} << 32) | r.relating);
      }
    }
  }
  if (_typeOf.empty()) return;
  std::stable_sort(ownSets.begin(), ownSets.end(),
                   [](uint64_t a, uint64_t b) { return (a >> 32) < (b >> 32); });
  // A type's sets: its HasPropertySets, then any related to it like to an entity.
  std::vector<uint64_t> typeSets = _typeSets;
  uint32_t lastType = 0;
  for (const uint64_t pair : _typeOf) {
    const auto type = static_cast<uint32_t>(pair);
    if (type == lastType) continue;
    lastType = type;
    auto own = std::lower_bound(ownSets.begin(), ownSets.end(), uint64_t{type} << 32);
    for (; own != ownSets.end() && (*own >> 32) == type; ++own)
      typeSets.push_back((uint64_t{type} << 32) | static_cast<uint32_t>(*own));
  }
  std::stable_sort(typeSets.begin(), typeSets.end(),
                   [](uint64_t a, uint64_t b) { return (a >> 32) < (b >> 32); });
  for (const uint64_t pair : _typeOf) {
    const auto object = static_cast<uint32_t>(pair >> 32);
    const auto type = static_cast<uint32_t>(pair);
    uint32_t rank = 0;
    auto it = std::lower_bound(typeSets.begin(), typeSets.end(), uint64_t{type} << 32);
    for (; it != typeSets.end() && (*it >> 32) == type; ++it)
      emitSet(object, static_cast<uint32_t>(*it), kPreferType | ++rank);
  }
}

void PropertyIndex::BuildAssociations() {
  if (_relating.empty()) return;
  std::vector<Pending> own;
  uint32_t order = 0;
  for (const auto& segment : _segments) {
    for (const Taken::Rel& r : segment->rels) {
      if (r.kind != kRelAssociates) continue;
      const auto it = _relating.find(r.relating);
      if (it == _relating.end() || it->second.column == UINT32_MAX) continue;
      ++order;
      for (uint32_t k = r.first; k < r.first + r.count; ++k) {
        Pending cell = it->second;
        cell.instance = segment->refs[k];
        cell.order = order;
        own.push_back(cell);
      }
    }
  }
  for (const Pending& p : own) {
    ++_stats[p.column].texts;
    Put(p);
  }
  // Entities without their own take their type's.
  std::stable_sort(own.begin(), own.end(),
                   [](const Pending& a, const Pending& b) { return a.instance < b.instance; });
  for (const uint64_t pair : _typeOf) {
    const auto type = static_cast<uint32_t>(pair);
    auto it = std::lower_bound(own.begin(), own.end(), type,
                               [](const Pending& p, uint32_t n) { return p.instance < n; });
    for (; it != own.end() && it->instance == type; ++it) {
      Pending cell = *it;
      cell.instance = static_cast<uint32_t>(pair >> 32);
      cell.order |= kPreferType;
      Put(cell);
    }
  }
}

void PropertyIndex::BuildProducts() {
  const bool ifc2x3 = _file.Schema().rfind("IFC2X3", 0) == 0;
  // Each source's column, found on its first attribute (kEveryColumn adds it then).
  constexpr int kNotFound = -2;
  int columnOf[std::size(kNamedColumns) + 1];
  std::fill(std::begin(columnOf), std::end(columnOf), kNotFound);
  for (uint32_t s = 0; s < _segments.size(); ++s) {
    for (const Taken::Attribute& a : _segments[s]->attributes) {
      if ((a.source & kSpatialPredefined) != 0 && ifc2x3) continue;
      const auto source = static_cast<Source>(a.source & ~kSpatialPredefined);
      int& column = columnOf[static_cast<std::size_t>(source)];
      if (column == kNotFound) column = NamedColumn(source);
      if (column < 0) continue;
      ++_stats[static_cast<std::size_t>(column)].texts;
      Put({static_cast<uint32_t>(column), a.id, 0, s, a.text.offset, a.text.length});
    }
  }
  if (!_wantLayer) return;
  // Layers of representations and items: (item, layer), by item.
  struct ItemLayer {
    uint32_t item, segment;
    Taken::Ref name;
  };
  std::vector<ItemLayer> itemLayers;
  struct ShapeAt {
    uint32_t id, segment, index;
  };
  std::vector<ShapeAt> shapes;
  for (uint32_t s = 0; s < _segments.size(); ++s) {
    const Taken& t = *_segments[s];
    for (const Taken::Layer& l : t.layers)
      for (uint32_t k = l.first; k < l.first + l.count; ++k)
        itemLayers.push_back({t.refs[k], s, l.name});
    for (uint32_t i = 0; i < t.shapes.size(); ++i) shapes.push_back({t.shapes[i].id, s, i});
  }
  if (itemLayers.empty()) return;
  std::stable_sort(itemLayers.begin(), itemLayers.end(),
                   [](const ItemLayer& a, const ItemLayer& b) { return a.item < b.item; });
  std::sort(shapes.begin(), shapes.end(),
            [](const ShapeAt& a, const ShapeAt& b) { return a.id < b.id; });
  const int layerColumn = NamedColumn(Source::Layer);
  if (layerColumn < 0) return;
  // The shape of that id and form, with the segment whose refs it indexes.
  auto findShape = [&](uint32_t id, uint8_t form) -> std::pair<const Taken::Shape*, const Taken*> {
    const auto it = std::lower_bound(shapes.begin(), shapes.end(), id,
                                     [](const ShapeAt& a, uint32_t n) { return a.id < n; });
    if (it == shapes.end() || it->id != id) return {nullptr, nullptr};
    const Taken& owner = *_segments[it->segment];
    const Taken::Shape& shape = owner.shapes[it->index];
    if (shape.form != form) return {nullptr, nullptr};
    return {&shape, &owner};
  };
  std::vector<std::string_view> names;
  auto addLayers = [&](uint32_t item) {
    auto it = std::lower_bound(itemLayers.begin(), itemLayers.end(), item,
                               [](const ItemLayer& a, uint32_t n) { return a.item < n; });
    for (; it != itemLayers.end() && it->item == item; ++it) {
      const std::string_view name = _segments[it->segment]->View(it->name);
      if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
  };
  // A representation's layers and its items', through mapped items into the representations
  // they map. Maps can nest and fan out, so a hostile file gets a bounded walk.
  std::vector<std::pair<uint32_t, int>> walk;
  auto addRepresentation = [&](uint32_t rep) {
    int budget = kMaterialBudget;
    walk.assign(1, {rep, 0});
    while (!walk.empty() && budget-- > 0) {
      const auto [id, depth] = walk.back();
      walk.pop_back();
      addLayers(id);
      const auto [representation, owner] = findShape(id, Taken::kRepresentation);
      if (representation == nullptr) continue;
      for (uint32_t i = representation->first; i < representation->first + representation->count;
           ++i) {
        const uint32_t item = owner->refs[i];
        addLayers(item);
        const auto [mapped, mappedOwner] = findShape(item, Taken::kMappedItem);
        if (mapped != nullptr && depth < 8 && mappedOwner->refs[mapped->first] != 0)
          walk.emplace_back(mappedOwner->refs[mapped->first], depth + 1);
      }
    }
  };
  auto addCell = [&](uint32_t entity, uint32_t order) {
    if (names.empty()) return;
    std::string joined;
    for (const std::string_view name : names) {
      if (!joined.empty()) joined += ", ";
      joined += name;
    }
    if (_text.size() + joined.size() > UINT32_MAX) return;
    ++_stats[static_cast<std::size_t>(layerColumn)].texts;
    Put({static_cast<uint32_t>(layerColumn), entity, order, kInText,
         static_cast<uint32_t>(_text.size()), static_cast<uint32_t>(joined.size())});
    _text.append(joined);
  };
  for (const auto& segment : _segments) {
    for (const auto& [entity, shape] : segment->productShapes) {
      const auto [product, owner] = findShape(shape, Taken::kProductShape);
      if (product == nullptr) continue;
      names.clear();
      for (uint32_t k = product->first; k < product->first + product->count; ++k)
        addRepresentation(owner->refs[k]);
      addCell(entity, 0);
    }
  }
  // An entity without layers of its own takes those of the representations its type maps.
  for (const uint64_t pair : _typeOf) {
    const auto type = static_cast<uint32_t>(pair);
    names.clear();
    auto it = std::lower_bound(_typeMaps.begin(), _typeMaps.end(), uint64_t{type} << 32);
    for (; it != _typeMaps.end() && (*it >> 32) == type; ++it)
      addRepresentation(static_cast<uint32_t>(*it));
    addCell(static_cast<uint32_t>(pair >> 32), kPreferType);
  }
}

uint32_t PropertyIndex::MappedRepresentation(uint32_t map) const {
  const StepEntry* e = _file.Find(map);
  if (e == nullptr || e->complex || _file.TypeName(*e) != "IFCREPRESENTATIONMAP") return 0;
  // IfcRepresentationMap(MappingOrigin, MappedRepresentation).
  uint64_t rep = 0;
  if (!_file.Decode(*e, _params, 1) || !_params.Reference(1, rep)) return 0;
  return Number(rep);
}

std::string PropertyIndex::UnitName(uint32_t unitId) const {
  const StepEntry* e = _file.Find(unitId);
  if (e == nullptr || e->complex) return {};
  const std::string_view type = _file.TypeName(*e);
  StepParameters p;
  if (!_file.Decode(*e, p)) return {};
  if (type == "IFCSIUNIT") {
    const StepValue& prefix = p.At(2);
    const StepValue& name = p.At(3);
    if (name.kind != StepKind::Enum) return {};
    return SiSymbol(prefix.kind == StepKind::Enum ? prefix.text : std::string_view(), name.text);
  }
  if (type.substr(0, 22) == "IFCCONVERSIONBASEDUNIT") {
    std::string name = p.DecodedString(2);
    for (char& c : name)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return name;
  }
  return {};
}

std::string PropertyIndex::MaterialText(uint64_t id, int depth, int& budget) const {
  // Layer sets, constituent sets and profile sets nest a few levels; deeper is a loop, and
  // the budget stops lists of lists from multiplying.
  const StepEntry* e = _file.Find(id);
  if (e == nullptr || e->complex || depth > 8 || --budget < 0) return {};
  const std::string_view type = _file.TypeName(*e);
  StepParameters p;
  if (!_file.Decode(*e, p)) return {};
  if (type == "IFCMATERIAL") return p.DecodedString(0);
  std::size_t list = SIZE_MAX;
  std::size_t single = SIZE_MAX;
  if (type == "IFCMATERIALLIST" || type == "IFCMATERIALLAYERSET")
    list = 0;
  else if (type == "IFCMATERIALCONSTITUENTSET" || type == "IFCMATERIALPROFILESET")
    list = 2;
  else if (type.substr(0, 16) == "IFCMATERIALLAYER" ||
           type.rfind("USAGE") != std::string_view::npos)
    single = 0;  // a layer's material, or a usage's set
  else if (type == "IFCMATERIALCONSTITUENT" || type.substr(0, 18) == "IFCMATERIALPROFILE")
    single = 2;
  std::string out;
  auto add = [&](const StepValue& v) {
    if (v.kind != StepKind::Reference) return;
    const std::string name = MaterialText(v.reference, depth + 1, budget);
    if (name.empty()) return;
    if (!out.empty()) out += ", ";
    out += name;
  };
  if (list != SIZE_MAX) {
    for (const StepValue& item : p.Items(p.Unwrap(p.At(list)))) add(item);
  } else if (single != SIZE_MAX) {
    add(p.At(single));
  }
  return out;
}

std::string PropertyIndex::ClassificationText(uint64_t id) const {
  const StepEntry* e = _file.Find(id);
  if (e == nullptr || e->complex) return {};
  const std::string_view type = _file.TypeName(*e);
  StepParameters p;
  if (!_file.Decode(*e, p)) return {};
  if (type == "IFCCLASSIFICATIONREFERENCE") {
    // Identification (ItemReference in IFC2X3), else Name.
    std::string text = p.DecodedString(1);
    return text.empty() ? p.DecodedString(2) : text;
  }
  if (type == "IFCCLASSIFICATION") return p.DecodedString(3);
  return {};
}

void PropertyIndex::Put(const Pending& cell) {
  if (cell.column >= _pending.size()) _pending.resize(cell.column + 1);
  _pending[cell.column].push_back(cell);
}

void PropertyIndex::Finish() {
  // By column, then instance, then order. Each column's cells mostly come by instance
  // already: only a column that is out of order is sorted.
  _pending.resize(_columns.size());
  auto byInstance = [](const Pending& a, const Pending& b) {
    return a.instance != b.instance ? a.instance < b.instance : a.order < b.order;
  };
  for (auto& column : _pending)
    if (!std::is_sorted(column.begin(), column.end(), byInstance))
      std::sort(column.begin(), column.end(), byInstance);
  // Only the text stays until the cells have theirs.
  for (const auto& segment : _segments) {
    std::string text = std::move(segment->text);
    *segment = Taken();
    segment->text = std::move(text);
  }
  _cells.assign(_columns.size(), {});
  for (std::size_t c = 0; c < _columns.size(); ++c) _cells[c].reserve(_pending[c].size());
  _stats.resize(_columns.size());
  // Room for every text, so the views the index below keeps stay valid.
  std::size_t room = 0;
  for (const auto& column : _pending)
    for (const Pending& p : column) room += p.length + 2;
  _textStore.reserve(room);
  _texts.emplace_back(0, 0);
  // The ids of the texts by content: open addressing over the ids themselves. A map of views
  // allocates a node for each text and hashes with more care than these short texts need,
  // for every cell of every column.
  std::vector<uint32_t> slots(1024, 0);
  std::size_t used = 0;
  // Eight bytes a step: a byte at a time cost more than the rest of making the cells.
  auto hash = [](std::string_view text) {
    const char* p = text.data();
    const std::size_t size = text.size();
    uint64_t h = 0x9E3779B97F4A7C15u ^ size;
    auto mix = [&h](uint64_t word) {
      h = (h ^ word) * 0xBF58476D1CE4E5B9u;
      h ^= h >> 31;
    };
    if (size >= 8) {
      std::size_t i = 0;
      for (; i + 8 <= size; i += 8) mix(Load64(p + i));
      if (i < size) mix(Load64(p + size - 8));  // the tail, overlapping the last whole word
    } else if (size >= 4) {
      mix((uint64_t{Load32(p)} << 32) | Load32(p + size - 4));
    } else if (size > 0) {
      const auto byte = [p](std::size_t i) { return uint64_t{static_cast<unsigned char>(p[i])}; };
      mix((byte(0) << 16) | (byte(size / 2) << 8) | byte(size - 1));
    }
    h *= 0x94D049BB133111EBu;
    return static_cast<std::size_t>(h ^ (h >> 29));
  };
  auto slotOf = [&](std::string_view text) -> uint32_t& {
    const std::size_t mask = slots.size() - 1;
    for (std::size_t i = hash(text) & mask;; i = (i + 1) & mask)
      if (slots[i] == 0 || SameText(Text(slots[i]), text)) return slots[i];
  };
  auto intern = [&](std::string_view text) {
    uint32_t& slot = slotOf(text);
    if (slot != 0) return slot;
    if (_textStore.size() + text.size() > UINT32_MAX) return 0u;  // the empty text: no cell
    const auto offset = static_cast<uint32_t>(_textStore.size());
    _textStore.append(text);
    _texts.emplace_back(offset, static_cast<uint32_t>(text.size()));
    const auto id = static_cast<uint32_t>(_texts.size() - 1);
    slot = id;
    if (++used * 2 > slots.size()) {
      // Half full: twice the slots, each id where its text now leads.
      std::vector<uint32_t> ids;
      ids.reserve(used);
      for (const uint32_t n : slots)
        if (n != 0) ids.push_back(n);
      slots.assign(slots.size() * 2, 0);
      for (const uint32_t n : ids) slotOf(Text(n)) = n;
    }
    return id;
  };
  for (std::size_t c = 0; c < _pending.size(); ++c) {
    const auto& pending = _pending[c];
    const bool classification = _columns[c].source == Source::Classification;
    for (std::size_t i = 0; i < pending.size();) {
      const Pending& first = pending[i];
      std::size_t end = i + 1;
      while (end < pending.size() && pending[end].instance == first.instance) ++end;
      Cell cell{first.instance, 0};
      if (classification && end - i > 1) {
        // Every classification of the entity (or of its type), each once.
        std::vector<std::string_view> parts;
        for (std::size_t k = i; k < end; ++k) {
          if ((pending[k].order & kPreferType) != (first.order & kPreferType)) break;
          const std::string_view part = PendingText(pending[k]);
          if (std::find(parts.begin(), parts.end(), part) == parts.end()) parts.push_back(part);
        }
        std::string joined;
        for (const std::string_view part : parts)
          joined.append(joined.empty() ? "" : ", ").append(part);
        cell.text = intern(joined);
      } else {
        cell.text = intern(PendingText(first));
      }
      _cells[c].push_back(cell);
      i = end;
    }
  }
  _segments.clear();
  std::string().swap(_text);
  std::vector<uint32_t>().swap(slots);
  _textStore.shrink_to_fit();
  _texts.shrink_to_fit();
  decltype(_pending)().swap(_pending);
  for (std::size_t c = 0; c < _columns.size(); ++c) {
    Column& column = _columns[c];
    const Stats& st = _stats[c];
    if (column.source != Source::Property) continue;
    if (st.booleans != 0 && st.numbers == 0 && st.texts == 0) column.kind = Kind::Boolean;
    if (st.numbers != 0 && st.booleans == 0 && st.texts == 0) {
      column.kind = Kind::Number;
      if (st.unit != 0) {
        const auto it = _unitNames.find(st.unit);
        if (it != _unitNames.end()) column.unit = it->second;
      } else if (const auto it = _unitByKind.find(st.unitKind); it != _unitByKind.end()) {
        column.unit = it->second;
      }
    }
  }
  std::vector<Stats>().swap(_stats);
  std::vector<uint64_t>().swap(_typeOf);
  std::vector<uint64_t>().swap(_typeSets);
  _relating.clear();
}

std::string_view PropertyIndex::Value(std::size_t column, uint32_t instance) const {
  if (column >= _cells.size()) return {};
  const Table<Cell>& cells = _cells[column];
  const auto it = std::lower_bound(cells.begin(), cells.end(), instance,
                                   [](const Cell& c, uint32_t n) { return c.instance < n; });
  if (it == cells.end() || it->instance != instance) return {};
  return ValueView(*it);
}

}  // namespace ifc
