// QORDialogToolkit.h - process-wide settings of the dialog toolkit.
//
// Backend: "web" shows windows as pages served on 127.0.0.1 and opened in a browser;
// "none" shows nothing (events are then raised by whoever drives the widgets, as tests
// do). Chosen by SetBackend, else by QOR_DIALOG_BACKEND, else "web".
// Browser: the command that opens a window's address (SetBrowserCommand, else
// QOR_BROWSER); with none, the address is only printed, unless a desktop is present
// ($DISPLAY or $WAYLAND_DISPLAY), where xdg-open is used.
#pragma once

#include <functional>
#include <string>

#include "ObjectModelRuntime/QORTypes.h"

class QOR_KIT_API QORDialogToolkit {
 public:
  enum class Backend { None, Web };
  static void SetBackend(Backend backend);
  static Backend GetBackend();
  static void SetBrowserCommand(const std::string& command);
  static std::string GetBrowserCommand();
  // Where a shown window's address is announced (default: a line on standard error).
  static void SetAddressSink(std::function<void(const std::string& address)> sink);
  static void AnnounceAddress(const std::string& address);
};
