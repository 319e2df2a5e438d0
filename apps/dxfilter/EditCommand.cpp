// EditCommand.cpp - dxfilter edit: generate, show the filter page, and write the
// document the user confirmed; the run that record and replay share.
#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

#include "CommandSupport.h"
#include "DXCommand.h"
#include "DialogToolkit/QORDialogToolkit.h"
#include "EditOptions.h"
#include "EditSession.h"
#include "EventToolkit/QOREventLoop.h"
#include "JsonStreams/JIStream.h"

namespace dxfilter {

namespace {

// What "N of M entities will be imported" counts: the answers of the first boolean
// column (found by the edit session in the confirmed document), as the import would
// read them.
void PrintSummary(QORIInputFilterGenerator& generator, const std::string& importColumn) {
  QORIResolvedInputFilter* raw = nullptr;
  if (QORFailed(generator.GetResolvedFilter(&raw)) || !raw) return;
  QORIResolvedInputFilter_var reader(raw);
  raw->Release();
  std::vector<QORUnicodeString> ids;
  reader->GetObjectIds(ids);
  size_t imported = 0;
  for (const QORUnicodeString& id : ids) {
    QORUnicodeString value;
    if (importColumn.empty() ||
        QORFailed(reader->GetObjectAttribute(id, QORUnicodeString(importColumn), value)) ||
        value.Compare("true"))
      ++imported;
  }
  std::printf("%zu of %zu entities will be imported\n", imported, ids.size());
}

// The steps of a scenario, and its final button; a Save line is a step of its own.
std::vector<EditSession::Step> ReadScenario(const std::string& path, std::string& button,
                                            std::string& error) {
  std::vector<EditSession::Step> steps;
  std::ifstream in(path);
  if (!in) {
    error = "cannot read the scenario " + path;
    return steps;
  }
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (line.empty()) continue;
    JSON::JIStream entry;
    if (!entry.Parse(QORUnicodeString(line)) || !entry.IsObject()) {
      error = path + ":" + std::to_string(number) + ": not a scenario line";
      return {};
    }
    if (entry.Exist("interaction")) steps.push_back({false, entry.ReadString("interaction").Str()});
    if (entry.Exist("button")) {
      std::string name = entry.ReadString("button").Str();
      if (name == "Save")
        steps.push_back({true, name});
      else
        button = name;
    }
  }
  // Without its button a replay would wait for ever: the recording was cut short.
  if (button.empty()) {
    error = path + ": no button line (the recording did not end; replay needs OK or Cancel)";
    return {};
  }
  // Closing the window is what record writes as "Close": it cancels, as it did then.
  if (button == "Close") button = "Cancel";
  return steps;
}

}  // namespace

int RunEdit(DXFilterHost& host, const EditOptions& o, bool record, bool replay) {
  std::string error, button;
  std::vector<EditSession::Step> steps;
  if (replay) {
    steps = ReadScenario(o.scenario, button, error);
    if (!error.empty()) return Fail(error);
  }
  if (o.noBrowser) QORDialogToolkit::SetBrowserCommand("");
  if (!o.browser.empty()) QORDialogToolkit::SetBrowserCommand(o.browser);

  FilterCarry carry;
  ReadCarry(o.generate, carry);
  QORIInputFilterGenerator_var generator;
  if (int rc = BuildDocument(host, o.generate, generator)) return rc;
  if (int rc = ApplyCarry(*generator.Get(), o.generate, carry)) return rc;

  FILE* scenario = nullptr;
  if (record) {
    scenario = std::fopen(o.scenario.c_str(), "w");
    if (!scenario) return Fail("cannot write the scenario " + o.scenario);
  }
  EditSession* session = new EditSession();
  if (scenario) session->RecordTo(scenario);
  session->SaveDumpsBeside(o.generate.output.empty() ? DefaultOutput(o.generate.input)
                                                     : o.generate.output);
  if (replay) {
    session->Replay(std::move(steps), button);
    session->SetTimeLimit(std::chrono::seconds(o.timeoutSeconds));
  }
  EditSession::Outcome outcome = session->Run(*generator.Get(), error);
  if (scenario) std::fclose(scenario);

  int status = 0;
  if (outcome == EditSession::Outcome::Confirmed) {
    std::string output;
    status = Save(*generator.Get(), o.generate, output);
    if (status == 0) {
      std::fprintf(stderr, "dxfilter: wrote %s\n", output.c_str());
      PrintSummary(*generator.Get(), session->ImportColumn());
    }
  } else if (outcome == EditSession::Outcome::Failed) {
    status = Fail(error);
  } else {
    std::fprintf(stderr, "dxfilter: %s, nothing written\n",
                 outcome == EditSession::Outcome::Cancelled ? "cancelled" : "interrupted");
    status = kCancelledExit;
  }
  // The generator drops its dialog by delayed destruction: let the loop run it, then
  // stop the page's server before the process's static objects go away.
  generator = QORIInputFilterGenerator_var();
  QOREventLoop::Host().RunPending();
  session->Release();
  QOREventLoop::Host().RunPending();
  QORDialogToolkit::Shutdown();
  return status;
}

void AddBrowserOptions(CLI::App* command, EditOptions& e) {
  command->add_option("--browser", e.browser,
                      "command that opens the page (default: $QOR_BROWSER)");
  command->add_flag("--no-browser", e.noBrowser, "only print the page's address");
}

DXCommand AddEditCommand(CLI::App& app) {
  auto ed = std::make_shared<EditOptions>();
  CLI::App* edit = app.add_subcommand(
      "edit", "generate, show the filter page, and write the document the user confirmed");
  AddGenerateOptions(edit, ed->generate);
  AddBrowserOptions(edit, *ed);
  edit->footer(
      "Exit status: 0 confirmed (document written), 3 cancelled (nothing written), 1 error.");
  return {edit, {}, [ed](DXFilterHost& host) { return RunEdit(host, *ed, false, false); }};
}

}  // namespace dxfilter
