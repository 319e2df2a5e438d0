// StepReexport.h - a STEP file as another export would write it, for tests that the readers
// do not depend on how a writer numbers or orders its records.
#pragma once

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace steptest {

// The DATA records in reverse order and every instance renumbered, references included:
// #n becomes #(7919 * n + 13), so the numbers fall through the file.
inline std::string Reexport(const std::string& text) {
  const std::size_t data = text.find("DATA;") + 5, end = text.find("ENDSEC;", data);
  std::vector<std::string> records;
  for (std::size_t at = data; at < end;) {
    const std::size_t stop = text.find('\n', at);
    const std::string line = text.substr(at, std::min(stop, end) - at);
    if (line.find('=') != std::string::npos) records.insert(records.begin(), line);
    at = stop == std::string::npos ? end : stop + 1;
  }
  std::string body = "\n";
  for (const std::string& r : records) {
    for (std::size_t i = 0; i < r.size(); ++i) {
      body += r[i];
      if (r[i] != '#' || i + 1 == r.size() || !std::isdigit(static_cast<unsigned char>(r[i + 1])))
        continue;
      std::size_t digits = 0;
      body += std::to_string(7919 * std::stoull(r.substr(i + 1), &digits) + 13);
      i += digits;
    }
    body += "\n";
  }
  return text.substr(0, data) + body + text.substr(end);
}

}  // namespace steptest
