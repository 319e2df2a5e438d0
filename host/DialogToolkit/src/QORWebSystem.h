// QORWebSystem.h - what the web backend asks of the system (kit internal): random ids,
// and starting and watching the browser.
#pragma once

#include <string>

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
