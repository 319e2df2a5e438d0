#include "IfcModel.h"

#include "IfcStepNames.h"
#include "IfcTreeBuilder.h"
#include "IfcTypeCatalog.h"

namespace ifc {

namespace {

constexpr std::size_t kObjectTypeIndex = 4;
constexpr std::size_t kContextLongNameIndex = 5;  // IfcProject (IfcContext in IFC4)
constexpr std::size_t kSpatialLongNameIndex = 7;
constexpr std::size_t kTagIndex = 7;

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
  roots_ = nullptr;
  rootCount_ = 0;
  std::vector<const Node*>().swap(links_);
  std::vector<Node>().swap(nodes_);
  std::vector<std::string>().swap(texts_);
  std::vector<std::string_view>().swap(descriptions_);
  schema_ = SchemaVersion::Unknown;
  properties_.reset();
  file_ = StepFile();
}

StepRecordSink& Model::SinkFor(TreeBuilder& builder, std::span<const std::string> columns) {
  if (columns.empty()) return builder;
  // The index takes the records of the columns and hands the tree its own.
  properties_ = std::make_unique<PropertyIndex>(file_, builder, columns);
  return *properties_;
}

bool Model::Open(const std::string& path, std::string& error,
                 std::span<const std::string> columns) {
  Close();
  {
    // The builder takes what the tree needs while the file is indexed.
    TreeBuilder builder(file_);
    StepIndexOptions options;
    options.sink = &SinkFor(builder, columns);
    if (!file_.Open(path, error, options) || !Build(builder, error)) {
      Close();
      return false;
    }
  }
  // The cells are joined once the index and the builder's work are freed.
  if (properties_) properties_->Build();
  return true;
}

bool Model::OpenBuffer(std::string_view bytes, std::string& error,
                       std::span<const std::string> columns) {
  Close();
  {
    TreeBuilder builder(file_);
    StepIndexOptions options;
    options.sink = &SinkFor(builder, columns);
    if (!file_.OpenBuffer(bytes, error, options) || !Build(builder, error)) {
      Close();
      return false;
    }
  }
  if (properties_) properties_->Build();
  return true;
}

bool Model::Build(TreeBuilder& builder, std::string& error) {
  if (file_.Schema().empty()) {
    error = "not an IFC file: the header has no FILE_SCHEMA";
    return false;
  }
  schema_ = ClassifySchema(file_.Schema());
  if (schema_ == SchemaVersion::Unknown) {
    error = "unsupported schema '" + file_.Schema() + "' (expected IFC2X3, IFC4 or IFC4X3)";
    return false;
  }
  builder.Build({nodes_, links_, texts_, descriptions_, roots_, rootCount_});
  if (properties_) properties_->Resolve();
  file_.ReleaseIndex();
  // The tree holds what it shows; attributes asked for later map their page back in.
  file_.DropResident(0, file_.Bytes().size());
  return true;
}

std::string Model::Attribute(const Node& node, NodeAttribute which) const {
  if (node.IsSynthetic() || (node.flags_ & Node::kComplexFlag) != 0) return {};
  std::size_t index = 0;
  switch (which) {
    case NodeAttribute::Description:
      return std::string(descriptions_[static_cast<std::size_t>(&node - nodes_.data())]);
    case NodeAttribute::ObjectType:
      index = kObjectTypeIndex;
      break;
    case NodeAttribute::LongName:
      if ((node.roles_ & TypeCatalog::kSpatial) != 0) {
        index = kSpatialLongNameIndex;
      } else if ((node.roles_ & TypeCatalog::kContext) != 0) {
        index = kContextLongNameIndex;
      } else {
        return {};
      }
      break;
    case NodeAttribute::Tag:
      if ((node.roles_ & (TypeCatalog::kElement | TypeCatalog::kFeature)) == 0) return {};
      index = kTagIndex;
      break;
  }
  StepParameters params;
  params.Parse(file_.Body(node.recordOffset_, node.recordLength_), index);
  return params.DecodedString(index);
}

}  // namespace ifc
