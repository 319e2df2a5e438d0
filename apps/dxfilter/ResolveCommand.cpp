// ResolveCommand.cpp - dxfilter resolve: the import's questions answered from a filter
// document, as a table, as JSON, or one answer at a time.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <unordered_set>

#include "CommandSupport.h"
#include "DXCommand.h"
#include "JsonStreams/JIStream.h"
#include "ResolvedTable.h"
#include "Spool.h"
#include "TerminalText.h"

namespace dxfilter {

namespace {

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

}  // namespace

DXCommand AddResolveCommand(CLI::App& app) {
  auto res = std::make_shared<ResolveOptions>();
  CLI::App* resolve =
      app.add_subcommand("resolve", "answer the import's questions from a filter document");
  resolve->add_option("FILTER", res->filter, "a filter document ('-': standard input)")
      ->required()
      ->check(FileOrStandardInput());
  resolve->add_flag("--ids", res->ids, "list the ids of every entity");
  resolve->add_option("--get", res->gets, "UID ATTR: one answer (repeatable)")
      ->expected(2)
      ->allow_extra_args(false)
      ->take_all();
  resolve->add_option("--setting", res->setting, "the value of one setting");
  resolve->add_flag("--table", res->table,
                    "a readable table of every entity's answers (the default)");
  resolve->add_flag("--json", res->json, "the same answers as JSON, for scripts");
  resolve->add_option("--under", res->under,
                      "only the subtrees whose label contains TEXT (a storey, say)");
  resolve->add_option("--where", res->wheres,
                      "COLUMN=VALUE: only rows with that answer (repeatable); 'new': only the "
                      "entities a --carry found new");
  return {resolve, {}, [res](DXFilterHost& host) { return Resolve(host, *res); }};
}

}  // namespace dxfilter
