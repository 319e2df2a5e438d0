// QORDialogToolkit.h - process-wide settings of the dialog toolkit.
//
// Backend: "web" shows windows as pages served on 127.0.0.1 and opened in a browser;
// "none" shows nothing (events are then raised by whoever drives the widgets, as tests
// do). Chosen by SetBackend, else by QOR_DIALOG_BACKEND, else "web".
// Browser: the command that opens a window's address (SetBrowserCommand, else
// QOR_BROWSER); with none, the address is only printed, unless a desktop is present
// ($DISPLAY or $WAYLAND_DISPLAY), where xdg-open is used. The command is run without
// a shell, the address appended (as --app=<address> for a Chromium-family browser
// that is not headless, which gives the page a window of its own).
// Message size limit: the largest message a page may post, in bytes (default 1 GiB,
// or QOR_DIALOG_MESSAGE_LIMIT); larger ones are refused and dropped.
// Leave grace: how long a window page that went away (a reload, or its tab closing)
// has to come back before the window counts as closed by the user (default 3 s).
// Lost grace: how long a page that was seen may have no request open before it counts
// as gone with its browser (killed, crashed) and its window as closed by the user
// (default 20 s; 2 s once a browser the kit started has ended). Notices such as that
// one go to standard error unless a notice sink is set.
#pragma once

#include <chrono>
#include <cstddef>
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
  // Where the kit's notices to the user go (default: "dialog: " + text on standard error).
  static void SetNoticeSink(std::function<void(const std::string& text)> sink);
  static void Notice(const std::string& text);
  // Stops the web server and, when asked to, the browsers the kit started: a host
  // calls it before it exits (a server left to atexit may still be answering while the
  // process's static objects are destroyed).
  static void Shutdown();
  // Whether Shutdown ends the browsers the kit started (headless runs); default false.
  static void SetCloseBrowsersOnShutdown(bool close);
  static void SetMessageSizeLimit(size_t bytes);
  static size_t GetMessageSizeLimit();
  static void SetLeaveGrace(std::chrono::milliseconds grace);
  static std::chrono::milliseconds GetLeaveGrace();
  static void SetLostGrace(std::chrono::milliseconds grace);
  static std::chrono::milliseconds GetLostGrace();
};
