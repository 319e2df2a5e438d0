#include "IfcNode.h"

namespace ifc {

std::string Node::Label() const {
  if (!_name.empty()) return std::string(_name);
  std::string label(_typeName);
  if (_instance != 0) {
    label += " #";
    label += std::to_string(_instance);
  }
  return label;
}

}  // namespace ifc
