// EditOptions.h - the interactive commands (edit, record, replay): their options, and
// the one run they share: generate, show the filter page, write what the user confirmed.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "DXFilterHost.h"
#include "GenerateOptions.h"

namespace dxfilter {

struct EditOptions {
  GenerateOptions generate;
  std::string browser, scenario;
  bool noBrowser = false;
  int timeoutSeconds = 300;  // a replay's bound
};

// --browser and --no-browser, as edit and record take them.
void AddBrowserOptions(CLI::App* command, EditOptions& e);
// record writes every interaction into the scenario; replay plays the scenario back.
int RunEdit(DXFilterHost& host, const EditOptions& o, bool record, bool replay);

}  // namespace dxfilter
