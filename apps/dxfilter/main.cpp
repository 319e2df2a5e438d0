// main.cpp - dxfilter, the command-line host of the input filtering.
//
//   dxfilter generate IFC house.ifc -o house.filter.json
//   dxfilter resolve house.filter.json --table
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <filesystem>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <unordered_set>

#include "DXFilterHost.h"
#include "DialogToolkit/QORDialogToolkit.h"
#include "EditSession.h"
#include "EventToolkit/QOREventLoop.h"
#include "FilterCarry.h"
#include "JsonStreams/JIStream.h"
#include "ObjectModelRuntime/QORErrorText.h"
#include "ObjectModelRuntime/QORListValQORUnicodeString.h"
#include "ProgressBar.h"
#include "ResolvedTable.h"

namespace {

int Fail(const std::string& reason) {
  std::fprintf(stderr, "dxfilter: %s\n", reason.c_str());
  return 1;
}

// The reason a component left beside its code, or the code in words.
std::string Reason(HRESULT hr) {
  std::string text = QORTakeErrorText();
  return text.empty() ? DXFilterHost::Describe(hr) : text;
}

bool ReadTextFile(const std::string& path, std::string& text, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path;
    return false;
  }
  std::ostringstream all;
  all << in.rdbuf();
  text = all.str();
  return true;
}

std::string DefaultOutput(const std::string& input) {
  std::string name = input.substr(input.find_last_of('/') + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name + ".filter.json";
}

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct GenerateOptions {
  std::string format, input, settings, output;
  std::string carry;  // an earlier version's filter document
  std::vector<std::string> removes;
  bool pretty = false;
};

// Creates the generator and builds the document; 0 or the exit code of the failure.
int BuildDocument(DXFilterHost& host, const GenerateOptions& o,
                  QORIInputFilterGenerator_var& generator) {
  std::string error;
  if (!host.Create("INPUT_FILTER_GENERATOR", generator, error)) return Fail(error);
  std::string settingsText;
  if (!o.settings.empty() && !ReadTextFile(o.settings, settingsText, error)) return Fail(error);
  if (!o.removes.empty()) {
    QORListValQORUnicodeString names;
    for (const std::string& name : o.removes) names.Append(QORUnicodeString(name));
    generator->AddEntityList(0, names);
  }
  QORUnicodeString settings(settingsText);
  HRESULT hr;
  {
    ProgressBar progress;
    hr = generator->GenerateDocument(QORUnicodeString(o.format), QORUnicodeString(o.input),
                                     o.settings.empty() ? nullptr : &settings);
  }
  if (QORFailed(hr)) {
    if (hr == QOR_E_CLASSNOTREG)
      return Fail("no structure provider for format '" + o.format + "' (see dxfilter formats)");
    if (hr == E_FAIL && !o.settings.empty())
      return Fail("cannot generate the filter of " + o.input + ": " + Reason(hr) +
                  " (is the settings file valid JSON whose \"format\" matches the provider?)");
    return Fail("cannot generate the filter of " + o.input + ": " + Reason(hr));
  }
  return 0;
}

// --carry: the old document is read while the new one is generated.
void ReadCarry(const GenerateOptions& o, FilterCarry& carry) {
  if (!o.carry.empty()) carry.StartReadingOld(o.carry);
}

// Writes the old document's choices into the generated one and says what changed: into
// the file output when given, else into the generator's own document.
int ApplyCarry(QORIInputFilterGenerator& generator, const GenerateOptions& o, FilterCarry& carry,
               const std::string* output = nullptr) {
  if (o.carry.empty()) return 0;
  std::string error;
  if (!carry.FinishReadingOld(error)) return Fail("cannot carry from " + error);
  if (!(output ? carry.WriteTo(generator, *output, error) : carry.ApplyTo(generator, error)))
    return Fail("cannot carry the choices of " + o.carry + ": " + error);
  if (carry.Result().inferred)
    std::fprintf(stderr,
                 "dxfilter: %s records no edits; its Import and ImportMode values that differ "
                 "were carried instead\n",
                 o.carry.c_str());
  std::printf("%s\n", carry.Summary().c_str());
  std::fflush(stdout);
  return 0;
}

int Save(QORIInputFilterGenerator& generator, const GenerateOptions& o, std::string& output) {
  // Indented files are the generator's own choice, made from the environment.
  if (o.pretty && !getenv("MDW_KWT_TMP")) setenv("MDW_KWT_TMP", "", 1);
  output = o.output.empty() ? DefaultOutput(o.input) : o.output;
  if (QORFailed(generator.SaveDocumentToFile(QORUnicodeString(output))))
    return Fail("cannot write " + output);
  return 0;
}

int Generate(DXFilterHost& host, const GenerateOptions& o) {
  const auto start = std::chrono::steady_clock::now();
  FilterCarry carry;
  ReadCarry(o, carry);
  QORIInputFilterGenerator_var generator;
  if (int rc = BuildDocument(host, o, generator)) return rc;
  std::string output;
  if (o.carry.empty()) {
    if (int rc = Save(*generator.Get(), o, output)) return rc;
  } else {
    if (o.pretty && !getenv("MDW_KWT_TMP")) setenv("MDW_KWT_TMP", "", 1);
    output = o.output.empty() ? DefaultOutput(o.input) : o.output;
    if (int rc = ApplyCarry(*generator.Get(), o, carry, &output)) return rc;
  }
  std::fprintf(stderr, "dxfilter: wrote %s in %.2f s\n", output.c_str(), Since(start));
  return 0;
}

// Exit code of an interactive filtering that the user cancelled.
constexpr int kCancelledExit = 3;

struct EditOptions {
  GenerateOptions generate;
  std::string browser, scenario;
  bool noBrowser = false;
};

// What "N of M entities will be imported" counts: the answers of the first boolean
// column, as the import would read them.
void PrintSummary(QORIInputFilterGenerator& generator, const std::string& output) {
  QORIResolvedInputFilter* raw = nullptr;
  if (QORFailed(generator.GetResolvedFilter(&raw)) || !raw) return;
  QORIResolvedInputFilter_var reader(raw);
  raw->Release();
  JSON::JIStream document;
  if (!document.ParseFile(QORUnicodeString(output))) return;
  std::string importColumn;
  for (const JSON::JIStream& column : document.ReadObjects("columns")) {
    if (column.ReadString("typeRepresentation").Str() == "boolean") {
      importColumn = column.ReadString("dataIndex").Str();
      break;
    }
  }
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

std::vector<std::string> ReadScenario(const std::string& path, std::string& button,
                                      std::string& error) {
  std::vector<std::string> interactions;
  std::ifstream in(path);
  if (!in) {
    error = "cannot read the scenario " + path;
    return interactions;
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
    if (entry.Exist("interaction")) interactions.push_back(entry.ReadString("interaction").Str());
    if (entry.Exist("button")) button = entry.ReadString("button").Str();
  }
  return interactions;
}

int Edit(DXFilterHost& host, const EditOptions& o, bool record, bool replay) {
  std::string error, button;
  std::vector<std::string> interactions;
  if (replay) {
    interactions = ReadScenario(o.scenario, button, error);
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
  if (replay) session->Replay(std::move(interactions), button);
  EditSession::Outcome outcome = session->Run(*generator.Get(), error);
  if (scenario) std::fclose(scenario);

  int status = 0;
  if (outcome == EditSession::Outcome::Confirmed) {
    std::string output;
    status = Save(*generator.Get(), o.generate, output);
    if (status == 0) {
      std::fprintf(stderr, "dxfilter: wrote %s\n", output.c_str());
      PrintSummary(*generator.Get(), output);
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

struct ResolveOptions {
  std::string filter, setting, under;
  std::vector<std::string> gets, wheres;
  bool ids = false, table = false, json = false;
};

// --where new: the entities that the carry found only in this version.
int KeepNew(ResolvedTable& table, const JSON::JIStream& document, const std::string& path) {
  const JSON::JIStream data = document.ReadObject("data");
  if (data.GetType("carry") != JSON::Type::Object)
    return Fail(path + " was not generated with --carry: it says nothing of new entities");
  std::unordered_set<std::string> fresh;
  for (const QORUnicodeString& uid : data.ReadObject("carry").ReadStrings("new"))
    fresh.insert(uid.Str());
  table.KeepUids(fresh);
  return 0;
}

int PrintAnswers(QORIResolvedInputFilter& reader, const JSON::JIStream& document,
                 const ResolveOptions& o) {
  ResolvedTable table;
  table.Build(document, reader);
  table.KeepUnder(o.under);
  for (const std::string& where : o.wheres) {
    if (where == "new") {
      if (int rc = KeepNew(table, document, o.filter)) return rc;
      continue;
    }
    size_t eq = where.find('=');
    std::string error;
    if (eq == std::string::npos) return Fail("--where wants COLUMN=VALUE, got '" + where + "'");
    if (!table.KeepWhere(where.substr(0, eq), where.substr(eq + 1), error)) return Fail(error);
  }
  QORUnicodeString filterId;
  reader.GetFilterID(filterId);
  if (o.json) table.PrintJson(stdout, filterId.Str());
  else table.PrintText(stdout);
  return 0;
}

int Resolve(DXFilterHost& host, const ResolveOptions& o) {
  std::string error;
  QORIResolvedInputFilter_var reader;
  if (!host.Create("INPUT_FILTER_READER", reader, error)) return Fail(error);
  HRESULT hr = reader->ReadFilterFile(QORUnicodeString(o.filter));
  if (QORFailed(hr)) {
    if (hr == E_FAIL && access(o.filter.c_str(), R_OK) == 0) {
      JSON::JIStream probe;
      if (!probe.ParseFile(QORUnicodeString(o.filter)))
        return Fail(o.filter + ": not a valid JSON document (" + probe.LastError() + ")");
      std::fprintf(stderr, "dxfilter: %s holds no entity with an id\n", o.filter.c_str());
    } else {
      return Fail("cannot read " + o.filter + ": " + DXFilterHost::Describe(hr));
    }
  }
  bool acted = false;
  if (o.ids) {
    std::vector<QORUnicodeString> ids;
    reader->GetObjectIds(ids);
    std::sort(ids.begin(), ids.end(), [](auto& a, auto& b) { return a.Str() < b.Str(); });
    for (const QORUnicodeString& id : ids) std::printf("%s\n", id.CastToCharPtr());
    acted = true;
  }
  int status = 0;
  for (size_t i = 0; i + 1 < o.gets.size(); i += 2) {
    QORUnicodeString value;
    if (QORSucceeded(reader->GetObjectAttribute(QORUnicodeString(o.gets[i]),
                                                QORUnicodeString(o.gets[i + 1]), value))) {
      std::printf("%s\n", value.CastToCharPtr());
    } else {
      std::fprintf(stderr, "dxfilter: no attribute %s for %s\n", o.gets[i + 1].c_str(),
                   o.gets[i].c_str());
      status = 1;
    }
    acted = true;
  }
  if (!o.setting.empty()) {
    QORUnicodeString value;
    if (QORSucceeded(reader->GetSetting(QORUnicodeString(o.setting), value))) {
      std::printf("%s\n", value.CastToCharPtr());
    } else {
      std::fprintf(stderr, "dxfilter: no setting %s\n", o.setting.c_str());
      status = 1;
    }
    acted = true;
  }
  if (o.table || o.json || !acted) {
    JSON::JIStream document;
    if (!document.ParseFile(QORUnicodeString(o.filter)))
      return Fail(o.filter + ": " + document.LastError());
    if (int rc = PrintAnswers(*reader.Get(), document, o)) return rc;
  }
  return status;
}

struct CloudOptions {
  std::string exchange, settings, output;
  bool json = false;
};

int Cloud(DXFilterHost& host, const CloudOptions& o) {
  std::string error;
  QORIInputFilterGenerator_var generator;
  if (!host.Create("INPUT_CLOUDFILTER_GENERATOR", generator, error)) return Fail(error);
  std::string settingsText;
  if (!o.settings.empty() && !ReadTextFile(o.settings, settingsText, error)) return Fail(error);
  QORUnicodeString settings(settingsText);
  HRESULT hr = generator->LoadDocumentFromFile(QORUnicodeString(o.exchange),
                                               o.settings.empty() ? nullptr : &settings);
  if (QORFailed(hr)) return Fail("cannot read the exchange document " + o.exchange);
  if (!o.output.empty() && QORFailed(generator->SaveDocumentToFile(QORUnicodeString(o.output))))
    return Fail("cannot write " + o.output);
  QORIResolvedInputFilter* raw = nullptr;
  hr = generator->GetResolvedFilter(&raw);
  if (QORFailed(hr) || !raw) return Fail("cannot resolve " + o.exchange + ": " + Reason(hr));
  QORIResolvedInputFilter_var reader(raw);
  raw->Release();
  std::vector<QORUnicodeString> ids;
  reader->GetObjectIds(ids);
  std::sort(ids.begin(), ids.end(), [](auto& a, auto& b) { return a.Str() < b.Str(); });
  if (o.json) std::printf("[");
  for (size_t i = 0; i < ids.size(); ++i) {
    if (o.json) std::printf("%s\"%s\"", i ? "," : "", ids[i].CastToCharPtr());
    else std::printf("%s\n", ids[i].CastToCharPtr());
  }
  if (o.json) std::printf("]\n");
  std::fprintf(stderr, "dxfilter: %zu resource(s) to import\n", ids.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"dxfilter - see and filter what a model file holds before importing it"};
  app.require_subcommand(1);
  app.footer(
      "Modules are loaded from $QOR_MODULE_PATH, else from lib/modules beside bin/.\n"
      "Run 'dxfilter COMMAND --help' for the options of a command.");

  auto addGenerateOptions = [](CLI::App* command, GenerateOptions& g) {
    command->add_option("FORMAT", g.format, "format of the file, e.g. IFC (see 'formats')")->required();
    command->add_option("FILE", g.input, "the file to filter")->required()->check(CLI::ExistingFile);
    command->add_option("--settings", g.settings, "JSON settings text ({\"format\":..., \"settings\":{...}})")
        ->check(CLI::ExistingFile);
    command->add_option("--remove", g.removes, "entity type to leave out (repeatable), e.g. IfcSpace");
    command->add_option("-o,--output", g.output, "where to write the document (default: NAME.filter.json)");
    command
        ->add_option("--carry", g.carry,
                     "OLD.filter.json: carry the choices made on an earlier version")
        ->check(CLI::ExistingFile);
  };
  GenerateOptions gen;
  CLI::App* generate = app.add_subcommand("generate", "build the filter document of a file");
  addGenerateOptions(generate, gen);
  generate->add_flag("--pretty", gen.pretty, "write indented JSON");

  EditOptions ed;
  CLI::App* edit = app.add_subcommand(
      "edit", "generate, show the filter page, and write the document the user confirmed");
  addGenerateOptions(edit, ed.generate);
  auto browserOptions = [](CLI::App* command, EditOptions& e) {
    command->add_option("--browser", e.browser, "command that opens the page (default: $QOR_BROWSER)");
    command->add_flag("--no-browser", e.noBrowser, "only print the page's address");
  };
  browserOptions(edit, ed);
  edit->footer("Exit status: 0 confirmed (document written), 3 cancelled (nothing written), 1 error.");

  EditOptions rec;
  CLI::App* recordCmd = app.add_subcommand(
      "record", "edit as above, recording every interaction into a scenario file");
  recordCmd->add_option("SCENARIO", rec.scenario, "the scenario file to write")->required();
  addGenerateOptions(recordCmd, rec.generate);
  browserOptions(recordCmd, rec);

  EditOptions rep;
  CLI::App* replayCmd = app.add_subcommand(
      "replay", "replay a recorded scenario on a file in a headless browser and write the result");
  replayCmd->add_option("SCENARIO", rep.scenario, "a scenario written by 'record'")->required()
      ->check(CLI::ExistingFile);
  addGenerateOptions(replayCmd, rep.generate);
  replayCmd->add_option("--browser", rep.browser, "command that opens the page (default: headless chromium)");

  ResolveOptions res;
  CLI::App* resolve = app.add_subcommand("resolve", "answer the import's questions from a filter document");
  resolve->add_option("FILTER", res.filter, "a filter document")->required()->check(CLI::ExistingFile);
  resolve->add_flag("--ids", res.ids, "list the ids of every entity");
  resolve->add_option("--get", res.gets, "UID ATTR: one answer (repeatable)")->expected(2)->allow_extra_args(false)
      ->take_all();
  resolve->add_option("--setting", res.setting, "the value of one setting");
  resolve->add_flag("--table", res.table, "a readable table of every entity's answers (the default)");
  resolve->add_flag("--json", res.json, "the same answers as JSON, for scripts");
  resolve->add_option("--under", res.under, "only the subtrees whose label contains TEXT (a storey, say)");
  resolve->add_option("--where", res.wheres,
                      "COLUMN=VALUE: only rows with that answer (repeatable); 'new': only the "
                      "entities a --carry found new");

  CloudOptions cl;
  CLI::App* cloud = app.add_subcommand("cloud", "resolve a cloud exchange document");
  cloud->add_option("EXCHANGE", cl.exchange, "the exchange document")->required()->check(CLI::ExistingFile);
  cloud->add_option("--settings", cl.settings, "JSON settings text merged into the document")
      ->check(CLI::ExistingFile);
  cloud->add_option("-o,--output", cl.output, "write the merged exchange document");
  cloud->add_flag("--json", cl.json, "print the resource ids as a JSON array");

  CLI::App* formats = app.add_subcommand("formats", "list the formats whose structure provider is installed");

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

  // Recording and replaying use the dialog's test mode, fixed when the module loads.
  if (*recordCmd || *replayCmd) setenv("DXWebViewerForKWT", "1", 1);
  // A replay owns its headless browser: a profile of its own, ended with the program.
  std::string replayProfile;
  if (*replayCmd && rep.browser.empty()) {
    char profile[] = "/tmp/dxfilter-browser-XXXXXX";
    if (mkdtemp(profile)) replayProfile = profile;
    rep.browser = "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
                  "--disable-background-networking --disable-component-update --disable-sync "
                  "--user-data-dir=" + replayProfile;
    QORDialogToolkit::SetCloseBrowsersOnShutdown(true);
  }
  struct RemoveProfile {
    std::string path;
    ~RemoveProfile() {
      std::error_code ignored;
      if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
  } removeProfile{replayProfile};

  DXFilterHost host;
  std::string error;
  if (!host.LoadModules(error)) return Fail(error);
  if (*generate) return Generate(host, gen);
  if (*edit) return Edit(host, ed, false, false);
  if (*recordCmd) return Edit(host, rec, true, false);
  if (*replayCmd) return Edit(host, rep, false, true);
  if (*resolve) return Resolve(host, res);
  if (*cloud) return Cloud(host, cl);
  if (*formats) {
    for (const std::string& f : host.Formats()) std::printf("%s\n", f.c_str());
    return 0;
  }
  return 2;
}
