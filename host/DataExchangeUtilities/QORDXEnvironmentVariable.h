// QORDXEnvironmentVariable.h - environment look-ups of the data-exchange utilities. A
// variable counts as set when it is defined at all, whatever its value.
#pragma once

#include "DataExchangeUtilities/QORDXUnicodeString.h"

class QOR_KIT_API QORDXEnvironmentVariable {
 public:
  static bool HasBeenSet(const QORDXUnicodeString& name);
  // True and the value when the variable is defined; false and value untouched else.
  static bool GetValue(const QORDXUnicodeString& name, QORUnicodeString& value);
};
