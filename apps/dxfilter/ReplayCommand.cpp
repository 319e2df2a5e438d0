// ReplayCommand.cpp - dxfilter replay: a recorded scenario played on a file in a
// browser of its own (headless by default), and the result written.
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "DXCommand.h"
#include "DialogToolkit/QORDialogToolkit.h"
#include "EditOptions.h"

namespace dxfilter {

namespace {

// The headless browser's profile, removed when the command goes (after the modules).
struct ReplayProfile {
  std::string path;
  ~ReplayProfile() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
};

}  // namespace

DXCommand AddReplayCommand(CLI::App& app) {
  auto rep = std::make_shared<EditOptions>();
  CLI::App* replayCmd = app.add_subcommand(
      "replay", "replay a recorded scenario on a file in a headless browser and write the result");
  replayCmd->add_option("SCENARIO", rep->scenario, "a scenario written by 'record'")
      ->required()
      ->check(CLI::ExistingFile);
  AddGenerateOptions(replayCmd, rep->generate);
  replayCmd->add_option("--browser", rep->browser,
                        "command that opens the page (default: headless chromium)");
  replayCmd
      ->add_option("--timeout", rep->timeoutSeconds,
                   "give up after this many seconds (default: 300)")
      ->check(CLI::Range(1, 86400));
  auto profile = std::make_shared<ReplayProfile>();
  auto prepare = [rep, profile] {
    // Replaying uses the dialog's test mode, fixed when the module loads.
    setenv("DXWebViewerForKWT", "1", 1);
    // A replay owns its headless browser: a profile of its own, ended with the program.
    if (rep->browser.empty()) {
      char folder[] = "/tmp/dxfilter-browser-XXXXXX";
      if (mkdtemp(folder)) profile->path = folder;
      rep->browser =
          "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
          "--disable-background-networking --disable-component-update --disable-sync "
          "--user-data-dir=" +
          profile->path;
    }
    // A replay owns its browser, whichever: it ends with the replay, passed or failed.
    QORDialogToolkit::SetCloseBrowsersOnShutdown(true);
  };
  return {replayCmd, prepare,
          [rep](DXFilterHost& host) { return RunEdit(host, *rep, false, true); }};
}

}  // namespace dxfilter
