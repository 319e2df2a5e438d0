// TIEQORIInputFilterStructureQORStepFilterStructure.h - binds QORIInputFilterStructure
// to the STEP provider: each interface method goes to the provider's operation of the
// same name.
#pragma once

#include "InputFilteringInterfaces/QORInputFilterStructureTie.h"
#include "QORStepFilterStructure.h"

typedef QORInputFilterStructureTie<QORStepFilterStructure>
    TIEQORIInputFilterStructureQORStepFilterStructure;

QOR_EXPORT QORBaseUnknown* CreateTIEQORIInputFilterStructureQORStepFilterStructure(
    QORBaseUnknown* implementation, QORBaseUnknown* second);
