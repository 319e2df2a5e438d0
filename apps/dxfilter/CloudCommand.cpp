// CloudCommand.cpp - dxfilter cloud: a cloud exchange document, its settings merged, and
// the resources it holds answered.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <unordered_map>

#include "CommandSupport.h"
#include "DXCommand.h"
#include "JsonStreams/JIStream.h"
#include "Spool.h"
#include "TerminalText.h"

namespace dxfilter {

namespace {

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

DXCommand AddCloudCommand(CLI::App& app) {
  auto cl = std::make_shared<CloudOptions>();
  CLI::App* cloud = app.add_subcommand("cloud", "resolve a cloud exchange document");
  cloud->add_option("EXCHANGE", cl->exchange, "the exchange document ('-': standard input)")
      ->required()
      ->check(FileOrStandardInput());
  cloud->add_option("--settings", cl->settings, "JSON settings text merged into the document")
      ->check(CLI::ExistingFile);
  cloud->add_option("-o,--output", cl->output, "write the merged exchange document");
  cloud->add_option("--get", cl->gets, "ID ATTR: one answer (repeatable)")
      ->expected(2)
      ->allow_extra_args(false)
      ->take_all();
  cloud->add_option("--setting", cl->setting, "the value of one setting");
  cloud->add_flag("--filter-id", cl->filterId, "the document's filter id");
  cloud->add_flag("--json", cl->json,
                  "the filter id and every resource with its attributes as JSON, for scripts");
  return {cloud, {}, [cl](DXFilterHost& host) { return Cloud(host, *cl); }};
}

}  // namespace dxfilter
