#include "IfcNode.h"

namespace ifc {

std::string Node::Label() const {
  if (!name_.empty()) return std::string(name_);
  std::string label(typeName_);
  if (instance_ != 0) {
    label += " #";
    label += std::to_string(instance_);
  }
  return label;
}

}  // namespace ifc
