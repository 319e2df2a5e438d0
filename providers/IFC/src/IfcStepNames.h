// IfcStepNames.h - the shared STEP file reader, seen from the IFC code under its own names.
#pragma once

#include "StepFile.h"
#include "StepFileHeader.h"
#include "StepParameters.h"

namespace ifc {
// The reader lived in this namespace before it was shared with the STEP provider.
using namespace step;
}  // namespace ifc
