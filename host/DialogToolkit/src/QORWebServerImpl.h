// QORWebServerImpl.h - the loopback web server's parts (kit internal), each file one
// concern: QORWebServer.cpp routes (the gate every request passes, then the handler),
// QORWebServerSession.cpp keeps the page sessions (the browser's cookie, the tab that
// holds the session, a tab that left or a browser that went), QORWebServerPolling.cpp
// holds the long polls and bounds the work posted to the host thread, and
// QORWebServerPages.cpp serves the pages and scripts.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "DialogToolkit/src/QORWebAnswer.h"
#include "DialogToolkit/src/QORWebConnection.h"
#include "DialogToolkit/src/QORWebPage.h"
#include "DialogToolkit/src/QORWebServer.h"

namespace qor_web {

constexpr size_t kWorkers = 16;
constexpr size_t kQueuedConnections = 64;
// Long polls held at once, across pages; each holds a worker.
constexpr int kMaxWaiting = 8;
constexpr auto kPollWait = std::chrono::seconds(20);
constexpr auto kHangUpCheck = std::chrono::milliseconds(200);
// Once a browser the kit started has ended, its page has this long to show it lives on
// (a launcher that handed the address to a running browser ends at once, too).
constexpr auto kEndedBrowserGrace = std::chrono::seconds(2);
// Work posted to the host thread per page and not run yet.
constexpr size_t kMaxPendingWork = 256;
constexpr size_t kMaxOneShots = 4096;
constexpr std::string_view kTabHeader = "X-Qor-Tab";

class Server final : public QORWebServer {
 public:
  explicit Server(QORWebServerSetup setup) : _setup(std::move(setup)) {}
  bool Start();
  void Stop();

  int Port() const override { return _port; }

  void Add(std::shared_ptr<QORWebPage> page) override {
    std::lock_guard<std::mutex> lock(_mutex);
    _pages.push_back(std::move(page));
  }

  void Remove(const QORWebPage* page) override {
    std::lock_guard<std::mutex> lock(_mutex);
    std::erase_if(_pages, [page](const std::shared_ptr<QORWebPage>& p) { return p.get() == page; });
    _sessions.erase(page);
  }

 private:
  // The browser a page session was opened in: the cookie it was given.
  struct Session {
    std::string name, value;
  };

  // Checks the request's session cookie; the first load of the window page, before any
  // browser has one, gets it instead. False when the request was refused.
  bool Admit(const Request& req, Response& res, const QORWebPage* page, bool windowPage);

  enum class Holder { Yes, Missing, Other };

  std::shared_ptr<QORWebPage> FindPage(std::string_view token);
  std::shared_ptr<QORWebPage> PageOf(const Request& req);
  // The first tab to ask holds the session; a reload of it is the same tab. Under the
  // page's lock.
  static Holder Hold(QORWebPage& page, const Request& req);
  static HandlerResponse RefuseHolder(Response& res, Holder holder, const QORWebPage& page);

  // Waits (page locked) until ready, the page changes hands or goes, or the server
  // stops; false when too many requests wait already or a newer poll took over.
  template <class Ready>
  bool Wait(std::unique_lock<std::mutex>& lock, QORWebPage& page, uint64_t QORWebPage::*turnOf,
            Ready ready);
  void PostToHost(const std::shared_ptr<QORWebPage>& page, size_t bytes,
                  std::function<void()> work);
  // Takes a slot for work posted to the host (page locked); false when full.
  bool Reserve(QORWebPage& page, size_t bytes);

  HandlerResponse Gate(const Request& req, Response& res);
  HandlerResponse WindowPage(Response& res, const std::shared_ptr<QORWebPage>& page);
  HandlerResponse State(const Request& req, Response& res, const std::shared_ptr<QORWebPage>& page);
  HandlerResponse Scripts(const Request& req, Response& res,
                          const std::shared_ptr<QORWebPage>& page);
  HandlerResponse Script(std::string_view id, Response& res,
                         const std::shared_ptr<QORWebPage>& page);
  HandlerResponse Asset(std::string_view path, Response& res,
                        const std::shared_ptr<QORWebPage>& page);
  HandlerResponse Button(std::string_view value, const Request& req, Response& res,
                         const std::shared_ptr<QORWebPage>& page);
  HandlerResponse Close(const Request& req, Response& res, const std::shared_ptr<QORWebPage>& page);
  HandlerResponse Leave(const Request& req, Response& res, const std::shared_ptr<QORWebPage>& page);
  void Message(const Request& req, Response& res, const httplib::ContentReader& read);
  void Watch();

  const QORWebServerSetup _setup;
  std::atomic<bool> _stopping{false};
  GuardedHttp _http{_stopping};
  int _port = -1;
  std::string _host;
  std::string _origin;
  std::thread _listener;
  std::thread _watcher;

  std::mutex _mutex;  // _pages, _watchSignal (a page left or was first seen)
  std::condition_variable _watch;
  std::vector<std::shared_ptr<QORWebPage>> _pages;
  std::unordered_map<const QORWebPage*, Session> _sessions;
  bool _watchSignal = false;
  std::atomic<int> _waiting{0};
};

}  // namespace qor_web
