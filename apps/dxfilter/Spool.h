// Spool.h - what a reader takes is a path: input that is not a regular file (standard
// input, a pipe) is read once into a private temporary file, which every later read
// then uses.
#pragma once

#include <string>

namespace dxfilter {

class Spool {
 public:
  Spool() = default;
  ~Spool();
  Spool(const Spool&) = delete;
  Spool& operator=(const Spool&) = delete;
  // The path to read from in place of path; empty with error set on failure.
  std::string Open(const std::string& path, std::string& error);

 private:
  std::string _path;
};

}  // namespace dxfilter
