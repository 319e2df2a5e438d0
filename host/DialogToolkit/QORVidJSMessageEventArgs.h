// QORVidJSMessageEventArgs.h - arguments of JSMessage: the strings the page posted
// with one message, in order.
#pragma once

#include <vector>

#include "EventToolkit/QOREventArgs.h"
#include "SystemStrings/QORUnicodeString.h"

class QOR_KIT_API QORVidJSMessageEventArgs : public QOREventArgs {
  QOR_DECLARE_EVENT_ARGS(QORVidJSMessageEventArgs)

 public:
  explicit QORVidJSMessageEventArgs(std::vector<QORUnicodeString> messages)
      : _messages(std::move(messages)) {}
  const std::vector<QORUnicodeString>& GetMessages() const { return _messages; }
  // A handler that keeps a long string takes it rather than copying it; the handlers
  // after it then see that string empty.
  std::vector<QORUnicodeString>& Messages() { return _messages; }

 private:
  std::vector<QORUnicodeString> _messages;
};
