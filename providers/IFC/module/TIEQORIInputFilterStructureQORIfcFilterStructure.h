// TIEQORIInputFilterStructureQORIfcFilterStructure.h - binds QORIInputFilterStructure
// to the IFC provider: each interface method goes to the provider's operation of the
// same name.
#pragma once

#include "InputFilteringInterfaces/QORInputFilterStructureTie.h"
#include "QORIfcFilterStructure.h"

typedef QORInputFilterStructureTie<QORIfcFilterStructure>
    TIEQORIInputFilterStructureQORIfcFilterStructure;

QOR_EXPORT QORBaseUnknown* CreateTIEQORIInputFilterStructureQORIfcFilterStructure(
    QORBaseUnknown* implementation, QORBaseUnknown* second);
