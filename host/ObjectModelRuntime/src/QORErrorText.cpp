// QORErrorText.cpp - the per-thread reason of the last failure.
#include "ObjectModelRuntime/QORErrorText.h"

namespace {
thread_local std::string t_errorText;
}

void QORSetErrorText(const std::string& text) {
  t_errorText = text;
}

std::string QORTakeErrorText() {
  std::string text;
  text.swap(t_errorText);
  return text;
}
