// QOREvent.h - an event kind that widgets raise and handlers subscribe to. Each kind is
// one object for the life of the process (QORVidFraWindow::Closed(), ...).
#pragma once

#include <string>

#include "ObjectModelRuntime/QORTypes.h"

class QOR_KIT_API QOREvent {
 public:
  explicit QOREvent(const char* name) : _name(name) {}
  const std::string& GetName() const { return _name; }

 private:
  std::string _name;
};
