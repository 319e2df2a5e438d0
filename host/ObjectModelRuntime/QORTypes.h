// QORTypes.h - the basic types live with the strings, the lowest layer of the kit; this
// name stays for the modules and hosts that include it from here.
#pragma once

#include "SystemStrings/QORTypes.h"
