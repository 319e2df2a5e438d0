// CommandSupport.h - what the commands of dxfilter share: the one-line failure, the
// reading of small JSON texts (settings, standard input), and the single answers that
// resolve and cloud both give.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "InputFilteringInterfaces/QORIResolvedInputFilter.h"

namespace dxfilter {

// Settings are a few lines; anything this large is not a settings file.
inline constexpr size_t kMaxSettingsBytes = size_t{16} << 20;
// Exit code of an interactive filtering that the user cancelled.
inline constexpr int kCancelledExit = 3;

// Says "dxfilter: reason" on standard error; gives the exit code 1.
int Fail(const std::string& reason);
// The reason a component left beside its code, or the code in words.
std::string Reason(HRESULT hr);
std::string ShownName(const std::string& path);
// Reads a JSON text once, "-" being standard input. A pipe or device is read up to
// limit bytes, and given up at once when its first byte cannot start JSON (/dev/zero).
bool ReadTextFile(const std::string& path, std::string& text, std::string& error,
                  size_t limit = kMaxSettingsBytes);
// A settings text must be a JSON object: the module would drop anything else silently.
bool CheckSettings(const std::string& path, const std::string& text, std::string& error);
// NAME.filter.json in the working folder for the input path/NAME.ext.
std::string DefaultOutput(const std::string& input);
double Since(std::chrono::steady_clock::time_point start);
// --get ID ATTR and --setting NAME, as resolve and cloud both answer them: one line
// each, a missing answer said on stderr and counted in the exit status.
int PrintSingleAnswers(QORIResolvedInputFilter& reader, const std::vector<std::string>& gets,
                       const std::string& setting, bool& acted);

}  // namespace dxfilter
