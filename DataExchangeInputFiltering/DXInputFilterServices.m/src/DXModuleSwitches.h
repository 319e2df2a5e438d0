// DXModuleSwitches.h - the module's environment switches, fixed once while the
// library loads and only read afterwards.
#pragma once

#include <cstdint>

#include "SystemStrings/QORUnicodeString.h"

namespace dx {
// "KWT_DUMP_QORResolvedFilter" has been set: readers dump their mapping table.
extern bool g_dumpSwitch;
// "DXWebViewerForKWT" is defined: the filter dialog runs in test mode.
extern int16_t g_testModeSwitch;
// "QORDX_SAVEANDUSE_JSONFILTER" is defined: the edited document is also saved.
extern int16_t g_saveAndUseSwitch;
// Value of "QORTemp", empty when undefined: folder of the saved edited document.
extern QORUnicodeString g_temporaryDirectory;
}  // namespace dx
