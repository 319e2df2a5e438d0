// StepFileHeader.h - the HEADER section of a STEP file, decoded to UTF-8.
#pragma once

#include <string>
#include <vector>

namespace step {

// Fields as the FILE_DESCRIPTION, FILE_NAME and FILE_SCHEMA records give them; anything
// missing or unset stays empty.
struct FileHeader {
  std::vector<std::string> description;  // FILE_DESCRIPTION.description
  std::string implementationLevel;       // FILE_DESCRIPTION.implementation_level, e.g. "2;1"
  std::string name;                      // FILE_NAME.name
  std::string timeStamp;
  std::vector<std::string> author;
  std::vector<std::string> organization;
  std::string preprocessorVersion;
  std::string originatingSystem;
  std::string authorization;
  std::vector<std::string> schemas;  // FILE_SCHEMA identifiers, e.g. {"IFC4"}
};

}  // namespace step
