// QORWebServerPolling.cpp - the long polls (the window's state, the viewer's script
// stream) and the back-pressure on what the pages ask of the host thread: requests
// that would queue more than a page may have pending are refused as busy.
#include "DialogToolkit/src/QORWebAnswer.h"
#include "DialogToolkit/src/QORWebMessage.h"
#include "DialogToolkit/src/QORWebServerImpl.h"
#include "DialogToolkit/src/QORWebSystem.h"
#include "EventToolkit/QOREventLoop.h"

namespace qor_web {

// Waits (page locked) until ready, the page changes hands or goes, or the server
// stops; false when too many requests wait already or a newer poll took over.
template <class Ready>
bool Server::Wait(std::unique_lock<std::mutex>& lock, QORWebPage& page,
                  uint64_t QORWebPage::*turnOf, Ready ready) {
  if (_waiting.fetch_add(1) >= kMaxWaiting) {
    _waiting.fetch_sub(1);
    return false;
  }
  const uint64_t turn = ++(page.*turnOf);
  page.changed.notify_all();  // an older poll of the same kind gives way
  const auto deadline = std::chrono::steady_clock::now() + kPollWait;
  bool hungUp = false;
  auto done = [&] { return ready() || page.gone || page.*turnOf != turn || _stopping.load(); };
  // In slices, to notice a client that hung up while it waited.
  while (!done() && std::chrono::steady_clock::now() < deadline && !hungUp) {
    page.changed.wait_for(lock, kHangUpCheck);
    hungUp = ClientHungUp();
  }
  _waiting.fetch_sub(1);
  return page.*turnOf == turn && !hungUp;
}

void Server::PostToHost(const std::shared_ptr<QORWebPage>& page, size_t bytes,
                        std::function<void()> work) {
  QOREventLoop::Host().Post([page, bytes, work = std::move(work)] {
    {
      std::lock_guard<std::mutex> lock(page->mutex);
      page->pendingWork -= 1;
      page->pendingBytes -= bytes;
    }
    work();
  });
}

// Takes a slot for work posted to the host (page locked); false when full.
bool Server::Reserve(QORWebPage& page, size_t bytes) {
  const size_t limit = _setup.messageSizeLimit();
  if (page.pendingWork >= kMaxPendingWork || page.pendingBytes + bytes > 2 * limit) return false;
  page.pendingWork += 1;
  page.pendingBytes += bytes;
  return true;
}

HandlerResponse Server::State(const Request& req, Response& res,
                              const std::shared_ptr<QORWebPage>& page) {
  uint64_t known = 0;
  if (req.has_param("v") && !ParseCount(req.get_param_value("v"), known))
    return Refuse(res, 400, "bad version");
  const std::string load = req.get_param_value("load");
  if (!load.empty() && !IsId(load)) return Refuse(res, 400, "bad load");

  std::unique_lock<std::mutex> lock(page->mutex);
  if (Holder holder = Hold(*page, req); holder != Holder::Yes)
    return RefuseHolder(res, holder, *page);
  if (!load.empty() && load != page->windowLoad) {
    // A new load of the window page: a reload came back, the window stays open.
    page->windowLoad = load;
    page->leaving = false;
  }
  if (page->version == known && !page->gone &&
      !Wait(lock, *page, &QORWebPage::stateTurn, [&] { return page->version != known; }))
    return Refuse(res, 503, "busy");
  std::string state =
      "{\"v\":" + std::to_string(page->version) + ",\"title\":" + Quote(page->title) +
      ",\"buttons\":" + std::to_string(page->buttons) +
      ",\"visible\":" + (page->visible ? "true" : "false") +
      ",\"closed\":" + (page->gone || page->closedByUser ? "true" : "false") +
      ",\"closeButton\":" + (page->closeButton ? "true" : "false") +
      ",\"labels\":" + page->labelsJson + ",\"closedText\":" + Quote(page->closedText) + "}";
  return Json(res, std::move(state));
}

HandlerResponse Server::Scripts(const Request& req, Response& res,
                                const std::shared_ptr<QORWebPage>& page) {
  const std::string load = req.get_param_value("load");
  uint64_t after = 0;
  if (!IsId(load)) return Refuse(res, 400, "bad load");
  if (!ParseCount(req.get_param_value("after"), after)) return Refuse(res, 400, "bad position");

  std::unique_lock<std::mutex> lock(page->mutex);
  if (Holder holder = Hold(*page, req); holder != Holder::Yes)
    return RefuseHolder(res, holder, *page);
  if (page->gone) return Json(res, "{\"closed\":true}");
  if (load != page->load) {
    // A new load of the viewer's page: scripts handed to the previous one are void.
    page->load = load;
    page->oneShots.clear();
    page->changed.notify_all();
    if (!page->loadStarted) {
      page->loadStarted = true;
      lock.unlock();
      QOREventLoop::Host().Post([this, page] { _setup.loadStart(page); });
      lock.lock();
    }
  }
  if (after > page->scripts.size()) return Refuse(res, 400, "bad position");
  if (after == page->scripts.size() && !Wait(lock, *page, &QORWebPage::scriptsTurn, [&] {
        return page->scripts.size() > after || page->load != load;
      }))
    return Refuse(res, 503, "busy");
  if (page->load != load) return Refuse(res, 410, "a newer load of the page took over");
  if (page->gone) return Json(res, "{\"closed\":true}");

  std::string body = "{\"scripts\":[";
  for (size_t i = after; i < page->scripts.size(); ++i) {
    std::string id;
    if (!QORWebRandomHex(16, id)) return Refuse(res, 500, "no random source");
    page->oneShots.push_back(QORWebPage::OneShot{id, page->scripts[i]});
    if (page->oneShots.size() > kMaxOneShots) page->oneShots.pop_front();
    if (i > after) body += ',';
    body += "\"/" + page->token + "/__qor/script/" + id + "\"";
  }
  body += "],\"next\":" + std::to_string(page->scripts.size()) + "}";
  return Json(res, std::move(body));
}

HandlerResponse Server::Button(std::string_view value, const Request& req, Response& res,
                               const std::shared_ptr<QORWebPage>& page) {
  int button = 0;
  if (value == "2")
    button = 2;
  else if (value == "4")
    button = 4;
  else if (value == "8")
    button = 8;
  else if (value == "16")
    button = 16;
  else
    return Refuse(res, 404, "no such button");
  {
    std::lock_guard<std::mutex> lock(page->mutex);
    if (Holder holder = Hold(*page, req); holder != Holder::Yes)
      return RefuseHolder(res, holder, *page);
    if (page->gone || page->closedByUser || !page->visible)
      return Refuse(res, 409, "the dialog is closed");
    if (!(page->buttons & button)) return Refuse(res, 404, "no such button");
    if (!Reserve(*page, 0)) return Refuse(res, 503, "busy");
  }
  PostToHost(page, 0, [this, page, button] { _setup.button(page, button); });
  res.status = 204;
  return HandlerResponse::Handled;
}

void Server::Message(const Request& req, Response& res, const httplib::ContentReader& read) {
  std::shared_ptr<QORWebPage> page = PageOf(req);
  if (!page) {
    Refuse(res, 404, "not found");
    return;
  }
  const size_t limit = _setup.messageSizeLimit();
  // Read and checked as it arrives: by the last byte, the strings are ready.
  QORWebMessageReader reader;
  uint64_t declared = 0;
  ParseCount(req.get_header_value("Content-Length"), declared);
  reader.Expect(static_cast<size_t>(std::min<uint64_t>(declared, limit)));
  size_t received = 0;
  bool tooLarge = false, malformed = false;
  read([&](const char* data, size_t size) {
    received += size;
    if (received > limit) {
      tooLarge = true;
      return false;
    }
    if (!reader.Feed(data, size)) {
      malformed = true;
      return false;
    }
    return true;
  });
  if (tooLarge) {
    Refuse(res, 413, "too large");
    return;
  }
  if (malformed || !reader.Finish()) {
    Refuse(res, 400, "a message is a JSON array of strings");
    return;
  }
  std::vector<QORUnicodeString> strings;
  size_t bytes = 0;
  strings.reserve(reader.Strings().size());
  for (std::string& text : reader.Strings()) {
    bytes += text.size();
    strings.emplace_back(std::move(text));
  }
  {
    std::lock_guard<std::mutex> lock(page->mutex);
    if (page->gone) {
      Refuse(res, 404, "not found");
      return;
    }
    if (!Reserve(*page, bytes)) {
      Refuse(res, 503, "busy");
      return;
    }
  }
  auto shared = std::make_shared<std::vector<QORUnicodeString>>(std::move(strings));
  PostToHost(page, bytes, [this, page, shared] { _setup.message(page, std::move(*shared)); });
  res.status = 204;
}

}  // namespace qor_web
