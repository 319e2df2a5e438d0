// FormatsCommand.cpp - dxfilter formats: the formats whose structure provider is
// installed.
#include <cstdio>

#include "DXCommand.h"

namespace dxfilter {

DXCommand AddFormatsCommand(CLI::App& app) {
  CLI::App* formats =
      app.add_subcommand("formats", "list the formats whose structure provider is installed");
  return {formats, {}, [](DXFilterHost& host) {
            for (const std::string& f : host.Formats()) std::printf("%s\n", f.c_str());
            return 0;
          }};
}

}  // namespace dxfilter
