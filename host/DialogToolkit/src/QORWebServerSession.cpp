// QORWebServerSession.cpp - the page sessions: the cookie a browser is given at the
// first load, the tab that holds the session, and the watcher that closes the window
// of a tab that left without coming back or of a browser that went without a word.
#include <algorithm>

#include "DialogToolkit/src/QORWebAnswer.h"
#include "DialogToolkit/src/QORWebServerImpl.h"
#include "DialogToolkit/src/QORWebSystem.h"

namespace qor_web {

// Checks the request's session cookie; the first load of the window page, before any
// browser has one, gets it instead. False when the request was refused.
bool Server::Admit(const Request& req, Response& res, const QORWebPage* page, bool windowPage) {
  Session session;
  bool issue = false;
  {
    std::lock_guard<std::mutex> lock(_mutex);
    auto found = _sessions.find(page);
    if (found != _sessions.end()) {
      session = found->second;
    } else if (windowPage) {
      if (!QORWebRandomHex(8, session.name) || !QORWebRandomHex(32, session.value)) {
        Refuse(res, 500, "no random source");
        return false;
      }
      session.name = "qor-" + session.name;
      _sessions.emplace(page, session);
      issue = true;
    }
  }
  if (issue) {
    res.set_header("Set-Cookie",
                   session.name + "=" + session.value + "; HttpOnly; SameSite=Strict; Path=/");
    return true;
  }
  if (!session.value.empty() && ConstantTimeEqual(CookieValue(req, session.name), session.value))
    return true;
  Refuse(res, 403,
         session.value.empty() ? "no page session" : "this dialog is open in another browser");
  return false;
}

std::shared_ptr<QORWebPage> Server::FindPage(std::string_view token) {
  std::shared_ptr<QORWebPage> found;
  std::lock_guard<std::mutex> lock(_mutex);
  // Every page is compared, to the last byte: the time taken tells nothing.
  for (const auto& page : _pages)
    if (ConstantTimeEqual(page->token, token)) found = page;
  return found;
}

std::shared_ptr<QORWebPage> Server::PageOf(const Request& req) {
  if (req.path.size() < 34) return nullptr;
  return FindPage(std::string_view(req.path).substr(1, 32));
}

// The first tab to ask holds the session; a reload of it is the same tab. Under the
// page's lock.
Server::Holder Server::Hold(QORWebPage& page, const Request& req) {
  const std::string tab = req.get_header_value(std::string(kTabHeader));
  if (req.get_header_value_count(std::string(kTabHeader)) != 1 || !IsId(tab))
    return Holder::Missing;
  if (page.tab.empty()) page.tab = tab;
  return ConstantTimeEqual(page.tab, tab) ? Holder::Yes : Holder::Other;
}

HandlerResponse Server::RefuseHolder(Response& res, Holder holder, const QORWebPage& page) {
  if (holder == Holder::Missing) return Refuse(res, 400, "no page session");
  res.set_header("Connection", "close");
  return Json(res, "{\"text\":" + Quote(page.otherTabText) + "}", 409);
}

HandlerResponse Server::Close(const Request& req, Response& res,
                              const std::shared_ptr<QORWebPage>& page) {
  {
    std::lock_guard<std::mutex> lock(page->mutex);
    if (Holder holder = Hold(*page, req); holder != Holder::Yes)
      return RefuseHolder(res, holder, *page);
    res.status = 204;
    if (page->gone || page->closedByUser) return HandlerResponse::Handled;
    if (!Reserve(*page, 0)) return Refuse(res, 503, "busy");
    page->closedByUser = true;
    page->leaving = false;
    page->version += 1;
  }
  page->changed.notify_all();
  PostToHost(page, 0, [this, page] { _setup.closed(page); });
  return HandlerResponse::Handled;
}

HandlerResponse Server::Leave(const Request& req, Response& res,
                              const std::shared_ptr<QORWebPage>& page) {
  const std::string load = req.get_param_value("load");
  {
    std::lock_guard<std::mutex> lock(page->mutex);
    if (Holder holder = Hold(*page, req); holder != Holder::Yes)
      return RefuseHolder(res, holder, *page);
    res.status = 204;
    // Only the current load of the window page may leave: a reload's newer load has
    // already taken over when the old one's word arrives late.
    if (page->gone || page->closedByUser || load.empty() || load != page->windowLoad)
      return HandlerResponse::Handled;
    page->leaving = true;
    page->leaveDeadline = std::chrono::steady_clock::now() + _setup.leaveGrace();
  }
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _watchSignal = true;
  }
  _watch.notify_all();
  return HandlerResponse::Handled;
}

void Server::Watch() {
  std::unique_lock<std::mutex> lock(_mutex);
  while (!_stopping) {
    std::vector<std::shared_ptr<QORWebPage>> pages = _pages;
    _watchSignal = false;
    lock.unlock();
    bool anyLeaving = false;
    const auto now = std::chrono::steady_clock::now();
    const auto lostGrace = _setup.lostGrace();
    for (const auto& page : pages) {
      bool expired = false, lost = false;
      {
        std::lock_guard<std::mutex> pageLock(page->mutex);
        const bool open = !page->gone && !page->closedByUser && page->visible;
        if (page->leaving) {
          if (now < page->leaveDeadline) {
            anyLeaving = true;
            continue;
          }
          page->leaving = false;
          if (open && Reserve(*page, 0)) {
            page->closedByUser = true;
            page->version += 1;
            expired = true;
          }
        } else if (open && page->seen) {
          anyLeaving = true;  // watched until it closes
          if (page->browserGroup > 0 && !page->browserEnded &&
              QORLaunchedBrowserEnded(page->browserGroup))
            page->browserEnded = true;
          const auto grace = page->browserEnded ? std::min<std::chrono::milliseconds>(
                                                      lostGrace, kEndedBrowserGrace)
                                                : lostGrace;
          if (page->inFlight == 0 && now >= page->lastSeen + grace && Reserve(*page, 0)) {
            page->closedByUser = true;
            page->version += 1;
            lost = true;
          }
        }
      }
      if (expired || lost) page->changed.notify_all();
      if (expired) PostToHost(page, 0, [this, page] { _setup.closed(page); });
      if (lost) PostToHost(page, 0, [this, page] { _setup.pageLost(page); });
    }
    lock.lock();
    if (_stopping) break;
    if (anyLeaving)
      _watch.wait_for(lock, std::chrono::milliseconds(50),
                      [this] { return _stopping.load() || _watchSignal; });
    else
      _watch.wait(lock, [this] { return _stopping.load() || _watchSignal; });
  }
}

}  // namespace qor_web
