// GenerateCommand.cpp - dxfilter generate: the filter document of a file, written to
// disk; or, with --list-properties, the columns the file offers.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "ColumnCounts.h"
#include "CommandSupport.h"
#include "DXCommand.h"
#include "GenerateOptions.h"
#include "InputFilteringInterfaces/QORInputFilterNotes.h"
#include "JsonStreams/JIStream.h"
#include "JsonStreams/JOStream.h"
#include "ObjectModelRuntime/QORListValQORUnicodeString.h"
#include "ProgressBar.h"
#include "TerminalText.h"

namespace dxfilter {

namespace {

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

}  // namespace

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

void ReadCarry(const GenerateOptions& o, FilterCarry& carry) {
  if (!o.carry.empty()) carry.StartReadingOld(o.carry);
}

int ApplyCarry(QORIInputFilterGenerator& generator, const GenerateOptions& o, FilterCarry& carry,
               const std::string* output) {
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

namespace {

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

}  // namespace

void AddGenerateOptions(CLI::App* command, GenerateOptions& g) {
  command->add_option("FORMAT", g.format, "format of the file, e.g. IFC (see 'formats')")
      ->required();
  command->add_option("FILE", g.input, "the file to filter")->required()->check(CLI::ExistingFile);
  command
      ->add_option("--settings", g.settings,
                   "JSON settings text ({\"format\":..., \"settings\":{...}})")
      ->check(CLI::ExistingFile);
  command->add_option("--remove", g.removes,
                      "entity type to leave out (repeatable), e.g. IfcSpace");
  command->add_option("--column", g.columns,
                      "column to add (repeatable): SET.PROPERTY, e.g. Pset_WallCommon.IsExternal, "
                      "or Material, Classification, Layer, Tag, ObjectType, PredefinedType");
  command->add_option("-o,--output", g.output,
                      "where to write the document (default: NAME.filter.json)");
  // The STEP provider takes no settings through its interface: it reads these two from
  // the environment when it opens the file.
  command->add_option_function<std::string>(
      "--code-page", [](const std::string& page) { setenv("QOR_STEP_CODE_PAGE", page.c_str(), 1); },
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
}

DXCommand AddGenerateCommand(CLI::App& app) {
  auto gen = std::make_shared<GenerateOptions>();
  CLI::App* generate = app.add_subcommand("generate", "build the filter document of a file");
  AddGenerateOptions(generate, *gen);
  generate->add_flag("--pretty", gen->pretty, "write indented JSON");
  generate->add_flag("--list-properties", gen->listColumns,
                     "list the columns the file offers for --column, with their entity counts");
  generate->add_flag("--json", gen->json, "with --list-properties: print JSON, for scripts");
  return {generate, {}, [gen](DXFilterHost& host) { return Generate(host, *gen); }};
}

}  // namespace dxfilter
