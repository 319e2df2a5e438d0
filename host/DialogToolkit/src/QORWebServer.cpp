// QORWebServer.cpp - the dialog toolkit's loopback web server.
//
// Every request passes one gate before anything else, and before its body is read:
// the exact Host header (so a rebound DNS name gets nothing), a known page token as
// the first path segment (compared in constant time), the server's own Origin on
// every POST and on any request that carries one, a declared body length within the
// message cap, the session cookie of the one browser the page was opened in, and,
// for the page session's own requests, the browser tab that holds the session.
// Refusals close the connection, since their body is left unread.
//
// The address is worth one thing: the first load of the window page trades it for an
// HttpOnly, SameSite=Strict cookie, and every later request must carry that cookie.
// Whoever else learns the address afterwards (a command line under /proc, a log) gets
// nothing from it.
//
// Server threads never touch widgets: what a page asks of the program is posted to
// the host event loop, in bounded amounts, and the host drops it if the window is gone.
#include "DialogToolkit/src/QORWebServer.h"

#include <cstdlib>

#include "DialogToolkit/QORWebAssets.h"
#include "DialogToolkit/src/QORWebAnswer.h"
#include "DialogToolkit/src/QORWebServerImpl.h"
#include "EventToolkit/QOREventLoop.h"
#include "ObjectModelRuntime/QORMsgCatalog.h"

namespace qor_web {

bool Server::Start() {
  _http.new_task_queue = [] { return NewBoundedPool(kWorkers, kQueuedConnections); };
  _http.set_pre_routing_handler(
      [this](const Request& req, Response& res) { return Gate(req, res); });
  _http.set_post_routing_handler([](const Request&, Response& res) { Secure(res); });
  _http.set_exception_handler([](const Request&, Response& res, std::exception_ptr) {
    res.status = 500;
    res.set_content("internal error\n", "text/plain; charset=utf-8");
  });
  _http.Post(R"(/[0-9a-f]{32}/__qor/message)",
             [this](const Request& req, Response& res, const httplib::ContentReader& read) {
               Message(req, res, read);
             });
  // Takes a body and drops it: the floor that message transport is measured against.
  _http.Post(R"(/[0-9a-f]{32}/__qor/discard)",
             [](const Request&, Response& res, const httplib::ContentReader& read) {
               read([](const char*, size_t) { return true; });
               res.status = 204;
             });
  // Small answers go out at once rather than waiting for more to send.
  _http.set_tcp_nodelay(true);
  _http.set_keep_alive_timeout(2);
  _http.set_read_timeout(5, 0);
  _http.set_write_timeout(10, 0);

  _port = _http.bind_to_any_port("127.0.0.1");
  if (_port <= 0) return false;
  _http.WidenBacklog();
  _host = "127.0.0.1:" + std::to_string(_port);
  _origin = "http://" + _host;
  _listener = std::thread([this] { _http.listen_after_bind(); });
  // stop() does nothing before the loop runs: wait for it.
  for (int i = 0; i < 2000 && !_http.is_running(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  _watcher = std::thread([this] { Watch(); });
  return true;
}

void Server::Stop() {
  std::vector<std::shared_ptr<QORWebPage>> pages;
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _stopping = true;
    pages = _pages;
  }
  for (const auto& page : pages) {
    { std::lock_guard<std::mutex> lock(page->mutex); }
    page->changed.notify_all();
  }
  _watch.notify_all();
  _http.stop();
  if (_listener.joinable()) _listener.join();
  if (_watcher.joinable()) _watcher.join();
}

HandlerResponse Server::Gate(const Request& req, Response& res) {
  HeadRead();
  if (req.get_header_value_count("Host") != 1 || req.get_header_value("Host") != _host)
    return Refuse(res, 403, "unknown host");
  const bool post = req.method == "POST";
  const bool get = req.method == "GET" || req.method == "HEAD";
  if (!get && !post) return Refuse(res, 405, "method not allowed");
  // A POST must come from our own pages; any request that names an origin must name ours.
  if (req.get_header_value_count("Origin") > 1) return Refuse(res, 403, "foreign origin");
  if (req.has_header("Origin") ? req.get_header_value("Origin") != _origin : post)
    return Refuse(res, 403, "foreign origin");
  if (req.has_header("Transfer-Encoding")) return Refuse(res, 411, "length required");
  uint64_t length = 0;
  if (req.has_header("Content-Length") &&
      (req.get_header_value_count("Content-Length") != 1 ||
       !ParseCount(req.get_header_value("Content-Length"), length)))
    return Refuse(res, 400, "bad length");
  if (get && length > 0) return Refuse(res, 400, "unexpected body");

  std::string_view path(req.path);
  if (path.size() < 34 || path[0] != '/' || path[33] != '/') return Refuse(res, 404, "not found");
  std::shared_ptr<QORWebPage> page = FindPage(path.substr(1, 32));
  if (!page) return Refuse(res, 404, "not found");
  const std::string_view rest = path.substr(34);
  if (!Admit(req, res, page.get(), req.method == "GET" && rest.empty()))
    return HandlerResponse::Handled;
  if (RequestBegins(page)) {
    // The watcher keeps an eye on the page from now on.
    {
      std::lock_guard<std::mutex> lock(_mutex);
      _watchSignal = true;
    }
    _watch.notify_all();
  }

  if (post) {
    if (length > _setup.messageSizeLimit()) return Refuse(res, 413, "too large");
    if (rest == "__qor/discard") return HandlerResponse::Unhandled;
    if (rest == "__qor/message") {
      std::lock_guard<std::mutex> lock(page->mutex);
      if (Holder holder = Hold(*page, req); holder != Holder::Yes)
        return RefuseHolder(res, holder, *page);
      if (page->gone) return Refuse(res, 404, "not found");
      if (page->pendingWork >= kMaxPendingWork) return Refuse(res, 503, "busy");
      return HandlerResponse::Unhandled;  // the message handler reads the body
    }
    if (length > 0) return Refuse(res, 400, "unexpected body");
    if (rest.starts_with("__qor/button/")) return Button(rest.substr(13), req, res, page);
    if (rest == "__qor/close") return Close(req, res, page);
    if (rest == "__qor/leave") return Leave(req, res, page);
    return Refuse(res, 404, "not found");
  }

  if (rest.empty()) return WindowPage(res, page);
  if (rest == "__qor/state") return State(req, res, page);
  if (rest == "__qor/scripts") return Scripts(req, res, page);
  if (rest.starts_with("__qor/script/")) return Script(rest.substr(13), res, page);
  if (rest.starts_with("__qor/catalog/")) {
    const std::string name(rest.substr(14));
    if (!IsCatalogName(name)) return Refuse(res, 404, "not found");
    return Json(res, QORMsgCatalog::CatalogAsJson(name.c_str()));
  }
  if (rest == "__qor/bridge.js" || rest == "__qor/window.js" || rest == "__qor/window.css" ||
      rest == "__qor/icon.svg" || rest.starts_with("webapps/"))
    return Asset(rest, res, page);
  return Refuse(res, 404, "not found");
}

}  // namespace qor_web

namespace {
std::atomic<qor_web::Server*> g_server{nullptr};
std::mutex& InstanceMutex() {
  static std::mutex* mutex = new std::mutex();
  return *mutex;
}
bool g_stopped = false;
}  // namespace

void QORWebServer::StopRunning() {
  std::lock_guard<std::mutex> lock(InstanceMutex());
  g_stopped = true;
  if (qor_web::Server* running = g_server.load()) running->Stop();
}

QORWebServer* QORWebServer::Instance(const QORWebServerSetup& setup) {
  // Never destroyed: the server's threads are joined at exit, the objects left be.
  std::lock_guard<std::mutex> lock(InstanceMutex());
  if (g_stopped) return nullptr;
  if (qor_web::Server* running = g_server.load()) return running;
  // The caller is the host thread: make sure the loop knows it before any server
  // thread posts to it.
  QOREventLoop::Host();
  auto* server = new qor_web::Server(setup);
  if (!server->Start()) {
    delete server;
    return nullptr;
  }
  g_server = server;
  std::atexit([] { QORWebServer::StopRunning(); });
  return server;
}
