// GenerateOptions.h - the options of every command that generates a filter document
// (generate, edit, record, replay), added to the parser in one place, and the steps
// those commands share: build the document, carry an older one's choices, save.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "DXFilterHost.h"
#include "FilterCarry.h"
#include "InputFilteringInterfaces/QORIInputFilterGenerator.h"

namespace dxfilter {

struct GenerateOptions {
  std::string format, input, settings, output;
  std::string carry;  // an earlier version's filter document
  std::vector<std::string> removes;
  std::vector<std::string> columns;
  bool pretty = false;
  bool listColumns = false, json = false;
};

void AddGenerateOptions(CLI::App* command, GenerateOptions& g);

// Creates the generator and builds the document; 0 or the exit code of the failure.
int BuildDocument(DXFilterHost& host, const GenerateOptions& o,
                  QORIInputFilterGenerator_var& generator);
// --carry: the old document is read while the new one is generated.
void ReadCarry(const GenerateOptions& o, FilterCarry& carry);
// Writes the old document's choices into the generated one and says what changed: into
// the file output when given, else into the generator's own document.
int ApplyCarry(QORIInputFilterGenerator& generator, const GenerateOptions& o, FilterCarry& carry,
               const std::string* output = nullptr);
// Saves the document where the options say; its path in output.
int Save(QORIInputFilterGenerator& generator, const GenerateOptions& o, std::string& output);

}  // namespace dxfilter
