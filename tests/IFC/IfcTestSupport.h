// IfcTestSupport.h - what the IFC tests share: small files around a DATA section, the
// sample house, and a tree written out as text so a whole tree is one comparison.
#pragma once

#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "IfcModel.h"

namespace ifctest {

// From the build, not from __FILE__: a compiler cache may make that path relative.
inline std::string SamplePath() {
  return std::string(DX_SAMPLES_DIR) + "/SampleHouse.ifc";
}

// A crafted file of tests/IFC/files, and the tree expected of it as Outline() writes it.
inline std::string Crafted(const std::string& name) {
  return std::string(DX_IFC_TEST_FILES) + "/" + name + ".ifc";
}
inline std::string Tree(const std::string& name) {
  return std::string(DX_IFC_TEST_FILES) + "/" + name + ".tree";
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline std::string Ifc(const std::string& data, const std::string& schema = "IFC4") {
  return "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('x'),'2;1');\n"
         "FILE_NAME('t.ifc','',(''),(''),'','','');\nFILE_SCHEMA(('" +
         schema + "'));\nENDSEC;\nDATA;\n" + data + "ENDSEC;\nEND-ISO-10303-21;\n";
}

// Project -> site -> building, the frame most cases hang their storeys on.
inline const std::string kFrame =
    "#1=IFCPROJECT('0001',$,'Project',$,$,$,$,$,$);\n"
    "#2=IFCSITE('0002',$,'Site',$,$,$,$,$,.ELEMENT.,$,$,$,$,$);\n"
    "#3=IFCBUILDING('0003',$,'Building',$,$,$,$,$,.ELEMENT.,$,$,$);\n"
    "#4=IFCRELAGGREGATES('r4',$,$,$,#1,(#2));\n"
    "#5=IFCRELAGGREGATES('r5',$,$,$,#2,(#3));\n";

inline std::vector<const ifc::Node*> AllNodes(std::span<const ifc::Node* const> roots) {
  std::vector<const ifc::Node*> out(roots.begin(), roots.end());
  for (std::size_t i = 0; i < out.size(); ++i) {
    for (const ifc::Node* c : out[i]->Children()) out.push_back(c);
  }
  return out;
}

inline const ifc::Node* Find(const ifc::Model& model, const std::string& label) {
  for (const ifc::Node* n : AllNodes(model.Roots()))
    if (n->Label() == label) return n;
  return nullptr;
}

// One line a node, depth first: indent, label, instance number, and "*" on a spatial entity,
// "**" on one of the last spatial level. With `full`, the id, type and elevation too.
inline std::string Outline(std::span<const ifc::Node* const> roots, bool full = false) {
  std::string out;
  std::vector<std::pair<const ifc::Node*, std::size_t>> pending;
  for (auto it = roots.rbegin(); it != roots.rend(); ++it) pending.emplace_back(*it, 0);
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    out += std::string(2 * depth, ' ') + node->Label() + " #" +
           std::to_string(node->InstanceNumber()) +
           (node->IsLatestSpatial() ? " **"
            : node->IsSpatial()     ? " *"
                                    : "");
    if (full) {
      out += " " + std::string(node->GlobalId()) + " " + std::string(node->TypeName()) + " " +
             std::string(node->ElevationText()) + (node->IsSynthetic() ? " group" : "");
    }
    out += "\n";
    const auto kids = node->Children();
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) pending.emplace_back(*it, depth + 1);
  }
  return out;
}

}  // namespace ifctest
