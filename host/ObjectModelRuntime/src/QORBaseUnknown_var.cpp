// QORBaseUnknown_var.cpp - holder operations that leave the header.
#include "ObjectModelRuntime/QORBaseUnknown_var.h"

void QORBaseUnknown_var::ThrowErrorNullVar() {
  throw QORNullVarError();
}

void QORBaseUnknown_var::CastTo(QORBaseUnknown* p, const IID& iid) {
  void* queried = nullptr;
  if (p && QORFailed(p->QueryInterface(iid, &queried))) queried = nullptr;
  QORBaseUnknown* previous = _p;
  _p = static_cast<QORBaseUnknown*>(queried);  // the query's reference is ours
  if (previous) previous->Release();
}
