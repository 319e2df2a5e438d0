// DumpMappingTable.cpp - the reader's diagnostic dump. Labels and spacing are fixed:
// stored baselines compare against them.
#include <algorithm>
#include <cstdio>

#include "DXModuleSwitches.h"
#include "DataExchangeUtilities/QORDXEnvironmentVariable.h"
#include "JsonStreams/JOStream.h"
#include "ObjectModelRuntime/QORGetEnv.h"
#include "QORResolvedFilter.h"

void QORResolvedFilter::DumpMappingTable() {
  if (!dx::g_dumpSwitch) return;

  QORUnicodeString dumpValue;
  QORDXEnvironmentVariable::GetValue(QORDXUnicodeString("KWT_DUMP_QORResolvedFilter"), dumpValue);
  QORListValQORUnicodeString tokens;
  QORDXUnicodeString(dumpValue).Tokenize(";", tokens);

  FILE* out = stdout;
  QORUnicodeString folder;
  if (QORDXEnvironmentVariable::GetValue(QORDXUnicodeString("MDW_KWT_TMP"), folder) &&
      !folder.IsEmpty() && tokens.Size() > 0) {
    QORDXUnicodeString path(folder);
    path /= tokens[1];
    if (FILE* file = std::fopen(QORNativePath(path.View()).c_str(), "w")) {
      std::printf("INPUT_FILTER_READER: MAPPING TABLE INTO : %s\n", path.CastToCharPtr());
      out = file;
    }
  }
  const bool toFile = out != stdout;
  const bool fullListing = tokens.Size() == 0 || (toFile && tokens.Size() == 1);
  const int firstAttribute = toFile ? 2 : 1;

  std::fprintf(out, "INPUT_FILTER_READER: MAPPING TABLE :\n");
  bool settingsAsked = fullListing;
  for (int i = 1; i <= tokens.Size(); ++i)
    settingsAsked = settingsAsked || tokens[i].Compare("settings");
  if (settingsAsked) {
    std::fprintf(out, "SETTINGS :\n");
    QORUnicodeString text = JSON::JOStream(_settings).PrettyStringify(false);
    std::fprintf(out, "%s\n", text.CastToCharPtr());
  }
  std::fprintf(out, "OBJECTS :\n");

  std::vector<std::pair<QORDXUnicodeString, const MappingEntry*>> sorted;
  sorted.reserve(_mappingTable.size());
  for (const auto& [uid, entry] : _mappingTable) sorted.emplace_back(uid, &entry);
  std::sort(sorted.begin(), sorted.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });

  for (const auto& [uid, entry] : sorted) {
    if (fullListing) {
      std::fprintf(out, "   %s:  %s  NLS: %s \n", uid.CastToCharPtr(),
                   entry->primary.Stringify().CastToCharPtr(),
                   entry->fallback.Stringify().CastToCharPtr());
      continue;
    }
    std::string line = uid.Str() + ": {";
    for (int i = firstAttribute; i <= tokens.Size(); ++i) {
      const bool last = i == tokens.Size();
      if (tokens[i].Compare("settings")) {
        if (last) line += "}";
        continue;
      }
      QORUnicodeString value;
      if (QORSucceeded(GetObjectAttribute(uid, tokens[i], value)))
        line += "\"" + tokens[i].Str() + "\":\"" + value.Str() + "\"";
      line += last ? "}" : ", ";
    }
    std::fprintf(out, "   %s \n", line.c_str());
  }

  if (toFile) std::fclose(out);
  std::fflush(stdout);
}
