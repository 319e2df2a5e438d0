// QORDXEnvironmentVariable.cpp - reads the process environment; never writes it.
#include "DataExchangeUtilities/QORDXEnvironmentVariable.h"

#include "ObjectModelRuntime/QORGetEnv.h"

bool QORDXEnvironmentVariable::HasBeenSet(const QORDXUnicodeString& name) {
  return QORGetEnv(name.CastToCharPtr()) != nullptr;
}

bool QORDXEnvironmentVariable::GetValue(const QORDXUnicodeString& name, QORUnicodeString& value) {
  const char* v = QORGetEnv(name.CastToCharPtr());
  if (!v) return false;
  value = v;
  return true;
}
