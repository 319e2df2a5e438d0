// QORWebHost.h - what the web server asks of the host thread (kit internal). Each
// function runs on the host thread, from work the server posted, and does nothing
// when the window (or its viewer) is gone or asked for destruction.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "SystemStrings/QORUnicodeString.h"

struct QORWebPage;

namespace QORWebHost {
void RaiseLoadStart(const std::shared_ptr<QORWebPage>& page);
void RaiseMessage(const std::shared_ptr<QORWebPage>& page, std::vector<QORUnicodeString> strings);
void ClickButton(const std::shared_ptr<QORWebPage>& page, int button);
void RaiseClosed(const std::shared_ptr<QORWebPage>& page);
// The page stopped asking with no word (its browser was killed): says so, then closes
// the window as the user's close control would.
void PageLost(const std::shared_ptr<QORWebPage>& page);
}  // namespace QORWebHost

// Fills out with 2 * bytes lowercase hex digits from the system's random source.
bool QORWebRandomHex(size_t bytes, std::string& out);

// Runs command (words, with '...' and "..." quoting) with the address appended,
// detached and without a shell; false when it could not be started. group, when given,
// gets the browser's process group (0 when unknown).
bool QORLaunchBrowser(const std::string& command, const std::string& address, int* group = nullptr);

// Whether the browser QORLaunchBrowser started in that process group has ended.
bool QORLaunchedBrowserEnded(int group);

// Ends (SIGTERM to its process group) every browser QORLaunchBrowser started.
void QOREndLaunchedBrowsers();
