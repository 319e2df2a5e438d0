// QORWebPage.h - one window's page session as the web server and the host thread
// share it (kit internal). Fields under "host thread only" are touched by nothing
// else; the others are guarded by mutex, and every change that a waiting request may
// care about is followed by changed.notify_all().
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ObjectModelRuntime/QORWeakRef.h"

struct QORWebPage {
  explicit QORWebPage(std::string pageToken) : token(std::move(pageToken)) {}

  const std::string token;  // 32 lowercase hex digits: the first segment of every path

  // Host thread only.
  QORWeakRef window;
  QORWeakRef viewer;
  const void* viewerSeen = nullptr;  // the viewer the scripts were copied from
  size_t scriptsCopied = 0;
  bool shown = false;  // the window was visible at the last update

  std::mutex mutex;
  std::condition_variable changed;

  // The window as the window page shows it; version counts its changes.
  uint64_t version = 1;
  std::string title;
  int buttons = 0;
  bool visible = false;
  bool closeButton = true;
  std::string viewerPath;  // "webapps/..." of the viewer's page, "" without one
  bool gone = false;       // the window was destroyed
  bool closedByUser = false;

  // Texts of the window page, in the user's language; fixed at creation.
  std::string language;
  std::string labelsJson;  // {"2":"OK",...}
  std::string closedText;
  std::string otherTabText;
  std::string closeText;

  // The browser tab that holds the session ("" until the first page request).
  std::string tab;
  std::string windowLoad;  // the window page's current load
  bool leaving = false;    // the window page went away; closed unless it comes back
  std::chrono::steady_clock::time_point leaveDeadline;

  // Whether the browser is still there: its admitted requests being served now, and
  // when the last one ended. A page seen once that has nothing open for a grace is
  // taken as gone with its browser.
  size_t inFlight = 0;
  bool seen = false;
  std::chrono::steady_clock::time_point lastSeen;
  // The process group of the browser the kit started for this page (0: not ours), and
  // whether it ended after the page was seen.
  int browserGroup = 0;
  bool browserEnded = false;

  // The viewer: its current page load, and every script run so far, in order.
  std::string load;
  bool loadStarted = false;
  std::vector<std::shared_ptr<const std::string>> scripts;
  struct OneShot {
    std::string id;
    std::shared_ptr<const std::string> script;
  };
  std::deque<OneShot> oneShots;  // issued to the current load, each served once

  // A newer long poll of the same kind releases the older one.
  uint64_t stateTurn = 0;
  uint64_t scriptsTurn = 0;

  // Work posted to the host thread and not run yet.
  size_t pendingWork = 0;
  size_t pendingBytes = 0;
};
