// main.cpp - dxfilter, the command-line host of the input filtering: it chooses the
// command; each command is a file of its own (DXCommand.h).
//
//   dxfilter generate IFC house.ifc -o house.filter.json
//   dxfilter resolve house.filter.json --table
#include <CLI/CLI.hpp>
#include <cstdio>
#include <new>
#include <vector>

#include "CommandSupport.h"
#include "DXCommand.h"
#include "DXFilterHost.h"

using namespace dxfilter;

int main(int argc, char** argv) {
  CLI::App app{"dxfilter - see and filter what a model file holds before importing it"};
  app.require_subcommand(1);
  app.footer(
      "Modules are loaded from $QOR_MODULE_PATH, else from lib/modules beside bin/.\n"
      "Run 'dxfilter COMMAND --help' for the options of a command.");

  const std::vector<DXCommand> commands = {
      AddGenerateCommand(app), AddEditCommand(app),  AddRecordCommand(app), AddReplayCommand(app),
      AddResolveCommand(app),  AddCloudCommand(app), AddFormatsCommand(app)};

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "dxfilter: %s (try --help)\n", e.what());
    return 2;
  }

  for (const DXCommand& c : commands) {
    if (!*c.command) continue;
    if (c.prepare) c.prepare();
    // Running out of memory ends the command with a reason, never with an abort.
    try {
      DXFilterHost host;
      std::string error;
      if (!host.LoadModules(error)) return Fail(error);
      return c.run(host);
    } catch (const std::bad_alloc&) {
      return Fail("out of memory");
    }
  }
  return 2;
}
