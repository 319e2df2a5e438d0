// DXCommand.h - one command of dxfilter: it adds itself and its options to the parser,
// may set up what must be in place before the modules load, and runs once the command
// line is parsed. Each command lives in a file of its own; main only chooses.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>

#include "DXFilterHost.h"

namespace dxfilter {

struct DXCommand {
  CLI::App* command = nullptr;    // chosen when *command is true after parsing
  std::function<void()> prepare;  // before the modules load; may be empty
  std::function<int(DXFilterHost&)> run;
};

// In the order that --help lists them.
DXCommand AddGenerateCommand(CLI::App& app);
DXCommand AddEditCommand(CLI::App& app);
DXCommand AddRecordCommand(CLI::App& app);
DXCommand AddReplayCommand(CLI::App& app);
DXCommand AddResolveCommand(CLI::App& app);
DXCommand AddCloudCommand(CLI::App& app);
DXCommand AddFormatsCommand(CLI::App& app);

// A file, or "-" for standard input.
inline CLI::Validator FileOrStandardInput() {
  return CLI::ExistingFile | CLI::IsMember({"-"});
}

}  // namespace dxfilter
