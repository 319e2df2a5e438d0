// RecordCommand.cpp - dxfilter record: edit, writing every interaction of the page into
// a scenario file that replay plays back.
#include <cstdlib>
#include <memory>

#include "DXCommand.h"
#include "EditOptions.h"

namespace dxfilter {

DXCommand AddRecordCommand(CLI::App& app) {
  auto rec = std::make_shared<EditOptions>();
  CLI::App* recordCmd = app.add_subcommand(
      "record", "edit as above, recording every interaction into a scenario file");
  recordCmd->add_option("SCENARIO", rec->scenario, "the scenario file to write")->required();
  AddGenerateOptions(recordCmd, rec->generate);
  AddBrowserOptions(recordCmd, *rec);
  // Recording uses the dialog's test mode, fixed when the module loads.
  return {recordCmd, [] { setenv("DXWebViewerForKWT", "1", 1); },
          [rec](DXFilterHost& host) { return RunEdit(host, *rec, true, false); }};
}

}  // namespace dxfilter
