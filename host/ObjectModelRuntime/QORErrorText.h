// QORErrorText.h - a readable reason that travels beside a failure code.
//
// Interfaces report failures as result codes only; a component that can say more (a
// provider that cannot read a file: which file, which line) leaves the reason here,
// per thread, and the host shows it with the code.
//
//   QORSetErrorText("model.ifc: not a STEP file (no ISO-10303-21 header)");
//   return E_FAIL;
#pragma once

#include <string>

#include "SystemStrings/QORTypes.h"

QOR_KIT_API void QORSetErrorText(const std::string& text);
// The reason left by the last failure on this thread ("" when none), and forgets it.
QOR_KIT_API std::string QORTakeErrorText();
