// QORWebServerSetup.h - what the web server is handed when it starts (kit internal):
// the settings it reads while it runs, and what it has run on the host thread for the
// pages' requests. So the server knows nothing of the toolkit's classes.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "SystemStrings/QORUnicodeString.h"

struct QORWebPage;

struct QORWebServerSetup {
  using Page = std::shared_ptr<QORWebPage>;

  // Read on every request: the program may change them while the server runs.
  std::function<size_t()> messageSizeLimit;
  std::function<std::chrono::milliseconds()> leaveGrace;  // a tab that left may come back
  std::function<std::chrono::milliseconds()> lostGrace;   // a silent page is taken as gone

  // Run on the host thread, from work the server posted; each does nothing when the
  // window (or its viewer) is gone or asked for destruction.
  std::function<void(const Page&)> loadStart;
  std::function<void(const Page&, std::vector<QORUnicodeString>)> message;
  std::function<void(const Page&, int button)> button;
  std::function<void(const Page&)> closed;
  // The page stopped asking with no word (its browser was killed): says so, then
  // closes the window as the user's close control would.
  std::function<void(const Page&)> pageLost;
};
