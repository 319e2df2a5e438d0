// main.cpp - dxfilter, the command-line host of the input filtering.
//
//   dxfilter generate IFC house.ifc -o house.filter.json
//   dxfilter resolve house.filter.json --table
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include "ColumnCounts.h"
#include "DXFilterHost.h"
#include "DialogToolkit/QORDialogToolkit.h"
#include "EditSession.h"
#include "EventToolkit/QOREventLoop.h"
#include "FilterCarry.h"
#include "InputFilteringInterfaces/QORInputFilterNotes.h"
#include "JsonStreams/JIStream.h"
#include "JsonStreams/JOStream.h"
#include "ObjectModelRuntime/QORErrorText.h"
#include "ObjectModelRuntime/QORListValQORUnicodeString.h"
#include "ProgressBar.h"
#include "ResolvedTable.h"
#include "TerminalText.h"

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

// Settings are a few lines; anything this large is not a settings file.
constexpr size_t kMaxSettingsBytes = size_t{16} << 20;

std::string ShownName(const std::string& path) {
  return path == "-" ? "standard input" : path;
}

// Reads a JSON text once, "-" being standard input. A pipe or device is read up to
// limit bytes, and given up at once when its first byte cannot start JSON (/dev/zero).
bool ReadTextFile(const std::string& path, std::string& text, std::string& error,
                  size_t limit = kMaxSettingsBytes) {
  const std::string name = ShownName(path);
  const int fd = path == "-" ? ::dup(STDIN_FILENO) : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot read " + name + ": " + std::strerror(errno);
    return false;
  }
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    error = "cannot read " + name + ": " + std::strerror(EISDIR);
    return false;
  }
  if (S_ISREG(info.st_mode) && static_cast<uint64_t>(info.st_size) > limit) {
    ::close(fd);
    error = name + " is larger than " + std::to_string(limit >> 20) + " MiB";
    return false;
  }
  text.clear();
  char chunk[65536];
  bool started = false;
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof(chunk));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = "cannot read " + name + ": " + std::strerror(errno);
      ::close(fd);
      return false;
    }
    if (got == 0) break;
    if (text.size() + static_cast<size_t>(got) > limit) {
      error = name + " gives more than " + std::to_string(limit >> 20) + " MiB";
      ::close(fd);
      return false;
    }
    const size_t before = text.size();
    text.append(chunk, static_cast<size_t>(got));
    if (!started) {
      const size_t at = text.find_first_not_of(" \t\r\n", before);
      if (at != std::string::npos) {
        started = true;
        if (text[at] == '\0' || !std::strchr("{[\"-0123456789tfn", text[at])) {
          error = name + " is not a JSON document";
          ::close(fd);
          return false;
        }
      }
    }
  }
  ::close(fd);
  return true;
}

// What a reader takes is a path: input that is not a regular file (standard input, a
// pipe) is read once into a private temporary file, which every later read then uses.
class Spool {
 public:
  ~Spool() {
    if (!_path.empty()) ::unlink(_path.c_str());
  }
  // The path to read from in place of path; empty with error set on failure.
  std::string Open(const std::string& path, std::string& error) {
    struct stat info;
    if (path != "-" && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return path;
    std::string text;
    if (!ReadTextFile(path, text, error, JSON::kMaxStreamedBytes)) return "";
    std::error_code ignored;
    std::string folder = std::filesystem::temp_directory_path(ignored).string();
    std::string name = (folder.empty() ? std::string("/tmp") : folder) + "/dxfilter-input-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
      error = "cannot keep a copy of " + ShownName(path) + ": " + std::strerror(errno);
      return "";
    }
    _path = name;
    bool ok = true;
    for (size_t done = 0; ok && done < text.size();) {
      const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
      if (wrote < 0 && errno == EINTR) continue;
      ok = wrote > 0;
      if (ok) done += static_cast<size_t>(wrote);
    }
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
      error = "cannot keep a copy of " + ShownName(path) + ": " + std::strerror(errno);
      return "";
    }
    return _path;
  }

 private:
  std::string _path;
};

// A settings text must be a JSON object: the module would drop anything else silently.
bool CheckSettings(const std::string& path, const std::string& text, std::string& error) {
  JSON::JIStream probe;
  if (!probe.Parse(std::string_view(text))) {
    error = path + ": not a valid settings file (" + probe.LastError() + ")";
    return false;
  }
  if (!probe.IsObject()) {
    error = path + ": not a valid settings file (the top level is not a JSON object)";
    return false;
  }
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
  std::vector<std::string> columns;
  bool pretty = false;
  bool listColumns = false, json = false;
};

constexpr const char* kNamedColumns =
    "Material, Classification, Layer, Tag, ObjectType, PredefinedType";

// The columns asked for with --column and in the settings' "columns" list, handed to the
// provider through the environment (its interface takes no settings); 0 or an exit code.
int ChooseColumns(const GenerateOptions& o, const std::string& settingsText) {
  std::vector<QORUnicodeString> columns;
  JSON::JIStream settings;
  if (!settingsText.empty() && settings.Parse(std::string_view(settingsText)) &&
      settings.IsObject())
    columns = settings.ReadObject("settings").ReadStrings("columns");
  for (const std::string& c : o.columns) columns.push_back(QORUnicodeString(c));
  for (const QORUnicodeString& c : columns) {
    const std::string& name = c.Str();
    const size_t dot = name.find('.');
    if ((dot == std::string::npos || dot == 0 || dot + 1 == name.size()) &&
        std::string(", ").append(kNamedColumns).append(", ").find(", " + name + ",") ==
            std::string::npos) {
      std::fprintf(stderr, "dxfilter: a column is SET.PROPERTY or one of %s, not '%s'\n",
                   kNamedColumns, name.c_str());
      return 2;
    }
  }
  if (columns.empty()) return 0;
  JSON::JOStream holder;
  holder.Add("c", columns);
  const std::string text = holder.Stringify().Str();  // {"c":[...]}
  setenv("QORDX_FILTER_COLUMNS", text.substr(5, text.size() - 6).c_str(), 1);
  return 0;
}

// Creates the generator and builds the document; 0 or the exit code of the failure.
int BuildDocument(DXFilterHost& host, const GenerateOptions& o,
                  QORIInputFilterGenerator_var& generator) {
  std::string error;
  if (!host.Create("INPUT_FILTER_GENERATOR", generator, error)) return Fail(error);
  std::string settingsText;
  if (!o.settings.empty() && !ReadTextFile(o.settings, settingsText, error)) return Fail(error);
  if (int rc = ChooseColumns(o, settingsText)) return rc;
  if (!o.removes.empty()) {
    QORListValQORUnicodeString names;
    for (const std::string& name : o.removes) names.Append(QORUnicodeString(name));
    generator->AddEntityList(QORDXEntityList::kRemoveKind, names);
  }
  QORUnicodeString settings(settingsText);
  HRESULT hr;
  QORInputFilterNotes::Take();  // only this file's notes
  {
    ProgressBar progress;
    hr = generator->GenerateDocument(QORUnicodeString(o.format), QORUnicodeString(o.input),
                                     o.settings.empty() ? nullptr : &settings);
  }
  for (const std::string& note : QORInputFilterNotes::Take())
    std::fprintf(stderr, "dxfilter: note: %s\n", TerminalText(note).c_str());
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
  if (HRESULT hr = generator.SaveDocumentToFile(QORUnicodeString(output)); QORFailed(hr))
    return Fail("cannot write " + output + ": " + Reason(hr));
  return 0;
}

int Generate(DXFilterHost& host, const GenerateOptions& o) {
  const auto start = std::chrono::steady_clock::now();
  if (o.listColumns) {
    ColumnCounts counts;
    std::string error;
    if (!counts.Count(host, o.format, o.input, error)) return Fail(error);
    if (o.json)
      counts.PrintJson(stdout);
    else
      counts.PrintText(stdout);
    return 0;
  }
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
  int timeoutSeconds = 300;  // a replay's bound
};

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

int Edit(DXFilterHost& host, const EditOptions& o, bool record, bool replay) {
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

// --get ID ATTR and --setting NAME, as resolve and cloud both answer them: one line
// each, a missing answer said on stderr and counted in the exit status.
int PrintSingleAnswers(QORIResolvedInputFilter& reader, const std::vector<std::string>& gets,
                       const std::string& setting, bool& acted) {
  int status = 0;
  for (size_t i = 0; i + 1 < gets.size(); i += 2) {
    QORUnicodeString value;
    if (QORSucceeded(reader.GetObjectAttribute(QORUnicodeString(gets[i]),
                                               QORUnicodeString(gets[i + 1]), value))) {
      std::printf("%s\n", TerminalText(value.Str()).c_str());
    } else {
      std::fprintf(stderr, "dxfilter: no attribute %s for %s\n", TerminalText(gets[i + 1]).c_str(),
                   TerminalText(gets[i]).c_str());
      status = 1;
    }
    acted = true;
  }
  if (!setting.empty()) {
    QORUnicodeString value;
    if (QORSucceeded(reader.GetSetting(QORUnicodeString(setting), value))) {
      std::printf("%s\n", TerminalText(value.Str()).c_str());
    } else {
      std::fprintf(stderr, "dxfilter: no setting %s\n", TerminalText(setting).c_str());
      status = 1;
    }
    acted = true;
  }
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
  // The reader answers a shared GlobalId with the first entity's row: say so once.
  std::vector<std::string> uids;
  for (const ResolvedTable::Row& row : table.Rows())
    if (!row.uid.empty()) uids.push_back(row.uid);
  std::sort(uids.begin(), uids.end());
  const size_t shared =
      uids.size() - static_cast<size_t>(std::unique(uids.begin(), uids.end()) - uids.begin());
  if (shared > 0)
    std::fprintf(stderr,
                 "dxfilter: %zu entit%s share a GlobalId with an earlier one; each gets the first "
                 "one's answers\n",
                 shared, shared == 1 ? "y" : "ies");
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
  if (o.json)
    table.PrintJson(stdout, filterId.Str());
  else
    table.PrintText(stdout);
  return 0;
}

int Resolve(DXFilterHost& host, const ResolveOptions& o) {
  std::string error;
  QORIResolvedInputFilter_var reader;
  if (!host.Create("INPUT_FILTER_READER", reader, error)) return Fail(error);
  Spool spool;
  const std::string path = spool.Open(o.filter, error);
  if (path.empty()) return Fail(error);
  const std::string name = ShownName(o.filter);
  HRESULT hr = reader->ReadFilterFile(QORUnicodeString(path));
  if (QORFailed(hr)) {
    // An empty object or a document without ids: both hold nothing to answer for.
    if ((hr == E_FAIL || hr == E_INVALIDARG) && access(path.c_str(), R_OK) == 0) {
      JSON::JIStream probe;
      if (!probe.ParseFile(QORUnicodeString(path)))
        return Fail(name + ": not a valid JSON document (" + probe.LastError() + ")");
      std::fprintf(stderr, "dxfilter: %s holds no entity with an id\n", name.c_str());
    } else {
      return Fail("cannot read " + name + ": " + DXFilterHost::Describe(hr));
    }
  }
  bool acted = false;
  if (o.ids) {
    std::vector<QORUnicodeString> ids;
    reader->GetObjectIds(ids);
    std::sort(ids.begin(), ids.end(), [](auto& a, auto& b) { return a.Str() < b.Str(); });
    for (const QORUnicodeString& id : ids) std::printf("%s\n", TerminalText(id.Str()).c_str());
    acted = true;
  }
  int status = PrintSingleAnswers(*reader.Get(), o.gets, o.setting, acted);
  if (o.table || o.json || !acted) {
    JSON::JIStream document;
    if (!document.ParseFile(QORUnicodeString(path)))
      return Fail(name + ": " + document.LastError());
    if (int rc = PrintAnswers(*reader.Get(), document, o)) return rc;
  }
  return status;
}

struct CloudOptions {
  std::string exchange, settings, output, setting;
  std::vector<std::string> gets;
  bool json = false, filterId = false;
};

// The attribute names the records of each resource id carry, in the order first seen.
// Names come from every record with the id; the reader answers only its own record's.
std::unordered_map<std::string, std::vector<std::string>> RecordKeys(
    const JSON::JIStream& document) {
  std::unordered_map<std::string, std::vector<std::string>> keys;
  for (const JSON::JIStream& record : document.ReadObject("data").ReadObjects("results")) {
    if (record.GetType("resourceid") != JSON::Type::String) continue;
    std::vector<std::string>& names = keys[record.ReadString("resourceid").Str()];
    for (std::string_view key : record.Keys())
      if (key != "resourceid" && std::find(names.begin(), names.end(), key) == names.end())
        names.emplace_back(key);
  }
  return keys;
}

// --json: the filter id and every resource with the reader's answer for each attribute.
int PrintCloudJson(QORIResolvedInputFilter& reader, const std::vector<QORUnicodeString>& ids,
                   const std::string& path, const std::string& name) {
  JSON::JIStream document;
  if (!document.ParseFile(QORUnicodeString(path))) return Fail(name + ": " + document.LastError());
  const auto keys = RecordKeys(document);
  QORUnicodeString filterId;
  reader.GetFilterID(filterId);
  std::string out = "{\"filterID\":" + JsonQuoted(filterId.Str()) + ",\"resources\":[";
  for (size_t i = 0; i < ids.size(); ++i) {
    out += (i ? ",\n{\"resourceid\":" : "\n{\"resourceid\":") + JsonQuoted(ids[i].Str()) +
           ",\"attributes\":{";
    bool first = true;
    if (auto found = keys.find(ids[i].Str()); found != keys.end()) {
      for (const std::string& key : found->second) {
        QORUnicodeString value;
        if (QORFailed(reader.GetObjectAttribute(ids[i], QORUnicodeString(key), value))) continue;
        out += (first ? "" : ",") + JsonQuoted(key) + ":" + JsonQuoted(value.Str());
        first = false;
      }
    }
    out += "}}";
  }
  out += "\n]}\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

int Cloud(DXFilterHost& host, const CloudOptions& o) {
  std::string error;
  QORIInputFilterGenerator_var generator;
  if (!host.Create("INPUT_CLOUDFILTER_GENERATOR", generator, error)) return Fail(error);
  std::string settingsText;
  if (!o.settings.empty() && (!ReadTextFile(o.settings, settingsText, error) ||
                              !CheckSettings(o.settings, settingsText, error)))
    return Fail(error);
  Spool spool;
  const std::string path = spool.Open(o.exchange, error);
  if (path.empty()) return Fail(error);
  const std::string name = ShownName(o.exchange);
  QORUnicodeString settings(settingsText);
  HRESULT hr = generator->LoadDocumentFromFile(QORUnicodeString(path),
                                               o.settings.empty() ? nullptr : &settings);
  if (QORFailed(hr)) {
    JSON::JIStream probe;
    if (!probe.ParseFile(QORUnicodeString(path)))
      return Fail("cannot read the exchange document " + name + ": " + probe.LastError());
    return Fail("cannot read the exchange document " + name + ": " + Reason(hr));
  }
  if (!o.output.empty()) {
    if (HRESULT saved = generator->SaveDocumentToFile(QORUnicodeString(o.output)); QORFailed(saved))
      return Fail("cannot write " + o.output + ": " + Reason(saved));
  }
  QORIResolvedInputFilter* raw = nullptr;
  hr = generator->GetResolvedFilter(&raw);
  if (QORFailed(hr) || !raw) return Fail("cannot resolve " + name + ": " + Reason(hr));
  QORIResolvedInputFilter_var reader(raw);
  raw->Release();

  bool acted = false;
  int status = PrintSingleAnswers(*reader.Get(), o.gets, o.setting, acted);
  if (o.filterId) {
    QORUnicodeString value;
    if (QORSucceeded(reader->GetFilterID(value))) {
      std::printf("%s\n", TerminalText(value.Str()).c_str());
    } else {
      std::fprintf(stderr, "dxfilter: %s has no filter id\n", TerminalText(name).c_str());
      status = 1;
    }
    acted = true;
  }
  if (acted && !o.json) return status;

  std::vector<QORUnicodeString> ids;
  reader->GetObjectIds(ids);
  std::sort(ids.begin(), ids.end(), [](auto& a, auto& b) { return a.Str() < b.Str(); });
  if (o.json) {
    if (int rc = PrintCloudJson(*reader.Get(), ids, path, name)) return rc;
  } else {
    for (const QORUnicodeString& id : ids) std::printf("%s\n", TerminalText(id.Str()).c_str());
  }
  std::fprintf(stderr, "dxfilter: %zu resource(s) to import\n", ids.size());
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"dxfilter - see and filter what a model file holds before importing it"};
  app.require_subcommand(1);
  app.footer(
      "Modules are loaded from $QOR_MODULE_PATH, else from lib/modules beside bin/.\n"
      "Run 'dxfilter COMMAND --help' for the options of a command.");

  auto addGenerateOptions = [](CLI::App* command, GenerateOptions& g) {
    command->add_option("FORMAT", g.format, "format of the file, e.g. IFC (see 'formats')")
        ->required();
    command->add_option("FILE", g.input, "the file to filter")
        ->required()
        ->check(CLI::ExistingFile);
    command
        ->add_option("--settings", g.settings,
                     "JSON settings text ({\"format\":..., \"settings\":{...}})")
        ->check(CLI::ExistingFile);
    command->add_option("--remove", g.removes,
                        "entity type to leave out (repeatable), e.g. IfcSpace");
    command->add_option(
        "--column", g.columns,
        "column to add (repeatable): SET.PROPERTY, e.g. Pset_WallCommon.IsExternal, "
        "or Material, Classification, Layer, Tag, ObjectType, PredefinedType");
    command->add_option("-o,--output", g.output,
                        "where to write the document (default: NAME.filter.json)");
    // The STEP provider takes no settings through its interface: it reads these two from
    // the environment when it opens the file.
    command->add_option_function<std::string>(
        "--code-page",
        [](const std::string& page) { setenv("QOR_STEP_CODE_PAGE", page.c_str(), 1); },
        "STEP: code page of names that are not UTF-8, e.g. windows-1251 (default: Latin-1)");
    command
        ->add_option_function<uint64_t>(
            "--max-occurrences",
            [](uint64_t n) { setenv("QOR_STEP_MAX_OCCURRENCES", std::to_string(n).c_str(), 1); },
            "STEP: fail when the assembly expands to more occurrences (default 10000000)")
        ->check(CLI::PositiveNumber);
    command
        ->add_option("--carry", g.carry,
                     "OLD.filter.json: carry the choices made on an earlier version")
        ->check(CLI::ExistingFile);
  };
  GenerateOptions gen;
  CLI::App* generate = app.add_subcommand("generate", "build the filter document of a file");
  addGenerateOptions(generate, gen);
  generate->add_flag("--pretty", gen.pretty, "write indented JSON");
  generate->add_flag("--list-properties", gen.listColumns,
                     "list the columns the file offers for --column, with their entity counts");
  generate->add_flag("--json", gen.json, "with --list-properties: print JSON, for scripts");

  EditOptions ed;
  CLI::App* edit = app.add_subcommand(
      "edit", "generate, show the filter page, and write the document the user confirmed");
  addGenerateOptions(edit, ed.generate);
  auto browserOptions = [](CLI::App* command, EditOptions& e) {
    command->add_option("--browser", e.browser,
                        "command that opens the page (default: $QOR_BROWSER)");
    command->add_flag("--no-browser", e.noBrowser, "only print the page's address");
  };
  browserOptions(edit, ed);
  edit->footer(
      "Exit status: 0 confirmed (document written), 3 cancelled (nothing written), 1 error.");

  EditOptions rec;
  CLI::App* recordCmd = app.add_subcommand(
      "record", "edit as above, recording every interaction into a scenario file");
  recordCmd->add_option("SCENARIO", rec.scenario, "the scenario file to write")->required();
  addGenerateOptions(recordCmd, rec.generate);
  browserOptions(recordCmd, rec);

  EditOptions rep;
  CLI::App* replayCmd = app.add_subcommand(
      "replay", "replay a recorded scenario on a file in a headless browser and write the result");
  replayCmd->add_option("SCENARIO", rep.scenario, "a scenario written by 'record'")
      ->required()
      ->check(CLI::ExistingFile);
  addGenerateOptions(replayCmd, rep.generate);
  replayCmd->add_option("--browser", rep.browser,
                        "command that opens the page (default: headless chromium)");
  replayCmd
      ->add_option("--timeout", rep.timeoutSeconds,
                   "give up after this many seconds (default: 300)")
      ->check(CLI::Range(1, 86400));

  ResolveOptions res;
  CLI::App* resolve =
      app.add_subcommand("resolve", "answer the import's questions from a filter document");
  // "-" reads standard input.
  const CLI::Validator fileOrStdin = CLI::ExistingFile | CLI::IsMember({"-"});
  resolve->add_option("FILTER", res.filter, "a filter document ('-': standard input)")
      ->required()
      ->check(fileOrStdin);
  resolve->add_flag("--ids", res.ids, "list the ids of every entity");
  resolve->add_option("--get", res.gets, "UID ATTR: one answer (repeatable)")
      ->expected(2)
      ->allow_extra_args(false)
      ->take_all();
  resolve->add_option("--setting", res.setting, "the value of one setting");
  resolve->add_flag("--table", res.table,
                    "a readable table of every entity's answers (the default)");
  resolve->add_flag("--json", res.json, "the same answers as JSON, for scripts");
  resolve->add_option("--under", res.under,
                      "only the subtrees whose label contains TEXT (a storey, say)");
  resolve->add_option("--where", res.wheres,
                      "COLUMN=VALUE: only rows with that answer (repeatable); 'new': only the "
                      "entities a --carry found new");

  CloudOptions cl;
  CLI::App* cloud = app.add_subcommand("cloud", "resolve a cloud exchange document");
  cloud->add_option("EXCHANGE", cl.exchange, "the exchange document ('-': standard input)")
      ->required()
      ->check(fileOrStdin);
  cloud->add_option("--settings", cl.settings, "JSON settings text merged into the document")
      ->check(CLI::ExistingFile);
  cloud->add_option("-o,--output", cl.output, "write the merged exchange document");
  cloud->add_option("--get", cl.gets, "ID ATTR: one answer (repeatable)")
      ->expected(2)
      ->allow_extra_args(false)
      ->take_all();
  cloud->add_option("--setting", cl.setting, "the value of one setting");
  cloud->add_flag("--filter-id", cl.filterId, "the document's filter id");
  cloud->add_flag("--json", cl.json,
                  "the filter id and every resource with its attributes as JSON, for scripts");

  CLI::App* formats =
      app.add_subcommand("formats", "list the formats whose structure provider is installed");

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
    rep.browser =
        "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
        "--disable-background-networking --disable-component-update --disable-sync "
        "--user-data-dir=" +
        replayProfile;
  }
  // A replay owns its browser, whichever: it ends with the replay, passed or failed.
  if (*replayCmd) QORDialogToolkit::SetCloseBrowsersOnShutdown(true);
  struct RemoveProfile {
    std::string path;
    ~RemoveProfile() {
      std::error_code ignored;
      if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
  } removeProfile{replayProfile};

  // Running out of memory ends the command with a reason, never with an abort.
  try {
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
  } catch (const std::bad_alloc&) {
    return Fail("out of memory");
  }
  return 2;
}
