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

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unordered_map>

#include "DialogToolkit/QORDialogToolkit.h"
#include "DialogToolkit/QORWebAssets.h"
#include "DialogToolkit/src/QORWebHost.h"
#include "DialogToolkit/src/QORWebMessage.h"
#include "DialogToolkit/src/QORWebPage.h"
#include "EventToolkit/QOREventLoop.h"
#include "JsonStreams/QORJsonString.h"
#include "ObjectModelRuntime/QORMsgCatalog.h"

namespace {

using httplib::Request;
using httplib::Response;
using HandlerResponse = httplib::Server::HandlerResponse;

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

// httplib's own pool queues accepted connections without bound; this one makes the
// accepting thread wait when the queue is full, so a flood backs up into the kernel.
class BoundedPool final : public httplib::TaskQueue {
 public:
  BoundedPool(size_t workers, size_t capacity) : _capacity(capacity) {
    for (size_t i = 0; i < workers; ++i) _threads.emplace_back([this] { Work(); });
  }

  void enqueue(std::function<void()> fn) override {
    std::unique_lock<std::mutex> lock(_mutex);
    _room.wait(lock, [this] { return _jobs.size() < _capacity || _shutdown; });
    _jobs.push_back(std::move(fn));
    lock.unlock();
    _ready.notify_one();
  }

  void shutdown() override {
    {
      std::lock_guard<std::mutex> lock(_mutex);
      _shutdown = true;
    }
    _ready.notify_all();
    _room.notify_all();
    for (std::thread& t : _threads) t.join();
  }

 private:
  void Work() {
    for (;;) {
      std::function<void()> fn;
      {
        std::unique_lock<std::mutex> lock(_mutex);
        _ready.wait(lock, [this] { return !_jobs.empty() || _shutdown; });
        if (_jobs.empty()) return;  // shut down and drained
        fn = std::move(_jobs.front());
        _jobs.pop_front();
      }
      _room.notify_one();
      fn();
    }
  }

  const size_t _capacity;
  std::mutex _mutex;
  std::condition_variable _ready, _room;
  std::deque<std::function<void()>> _jobs;
  std::vector<std::thread> _threads;
  bool _shutdown = false;
};

// How long a client has to send a request's head (request line and headers), from
// its connection or from the end of the previous request, and how large it may be:
// a client that trickles a header every few seconds, or sends headers without end,
// is cut off instead of holding a worker and memory.
constexpr auto kHeadDeadline = std::chrono::seconds(2);
constexpr size_t kMaxHeadBytes = 64 * 1024;
// Reads and writes wait in slices this long, so that a stopping server is noticed.
constexpr auto kSlice = std::chrono::milliseconds(50);

// What the connection on this worker thread has read of the current request's head.
struct HeadState {
  bool inHead = false;
  size_t bytes = 0;
  std::chrono::steady_clock::time_point deadline;
};
thread_local HeadState* t_head = nullptr;
// The connection this worker serves, and the page its current request was admitted to.
thread_local int t_socket = -1;
thread_local std::shared_ptr<QORWebPage> t_page;

// The current request counts as the page's browser being there until it is answered.
// True when it is the first the page has seen.
bool RequestBegins(const std::shared_ptr<QORWebPage>& page) {
  if (t_page) return false;
  std::lock_guard<std::mutex> lock(page->mutex);
  page->inFlight += 1;
  page->lastSeen = std::chrono::steady_clock::now();
  t_page = page;
  if (page->seen) return false;
  page->seen = true;
  // A launcher that handed the address to a browser already running has ended by now:
  // its end will say nothing of the page.
  if (page->browserGroup > 0 && QORLaunchedBrowserEnded(page->browserGroup)) page->browserGroup = 0;
  return true;
}

void RequestEnds() {
  if (!t_page) return;
  {
    std::lock_guard<std::mutex> lock(t_page->mutex);
    t_page->inFlight -= 1;
    t_page->lastSeen = std::chrono::steady_clock::now();
  }
  t_page.reset();
}

// Whether the client of this worker's connection hung up (a killed browser's sockets
// are closed by its system): a long poll then stops holding the page as seen.
bool ClientHungUp() {
  if (t_socket < 0) return false;
  pollfd p{t_socket, POLLRDHUP, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL));
}

// A connection's socket with the server's deadlines: reads of a head are bounded in
// time and size, and every wait gives up once the server stops.
class GuardedStream final : public httplib::Stream {
 public:
  GuardedStream(int fd, const std::atomic<bool>& stopping, HeadState& head)
      : _fd(fd), _stopping(stopping), _head(head) {}

  bool is_readable() const override { return Wait(POLLIN, std::chrono::milliseconds(0)); }
  bool is_writable() const override { return Wait(POLLOUT, std::chrono::milliseconds(0)); }

  ssize_t read(char* ptr, size_t size) override {
    const auto now = std::chrono::steady_clock::now();
    auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::seconds(5));
    if (_head.inHead) {
      if (now >= _head.deadline || _head.bytes >= kMaxHeadBytes) return -1;
      limit = std::chrono::duration_cast<std::chrono::milliseconds>(_head.deadline - now);
      size = std::min(size, kMaxHeadBytes - _head.bytes);
    }
    if (!Wait(POLLIN, limit)) return -1;
    ssize_t got;
    do {
      got = ::recv(_fd, ptr, size, MSG_DONTWAIT);
    } while (got < 0 && errno == EINTR);
    if (got > 0 && _head.inHead) _head.bytes += static_cast<size_t>(got);
    return got;
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (!Wait(POLLOUT, std::chrono::seconds(10))) return -1;
    ssize_t sent;
    do {
      sent = ::send(_fd, ptr, size, MSG_DONTWAIT | MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent;
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    Address(false, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override { Address(true, ip, port); }
  socket_t socket() const override { return _fd; }

 private:
  // Waits for the event in slices, giving up when the server stops; an answer being
  // written gets a few slices more, so that what the program did is still reported.
  template <class Duration>
  bool Wait(short events, Duration limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int graceSlices = events == POLLOUT ? 10 : 0;
    for (;;) {
      if (_stopping.load() && graceSlices-- <= 0) return false;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      const auto slice =
          std::max(std::chrono::milliseconds(0), std::min<std::chrono::milliseconds>(left, kSlice));
      pollfd p{_fd, events, 0};
      const int ready = ::poll(&p, 1, static_cast<int>(slice.count()));
      if (ready > 0) return true;
      if (ready < 0 && errno != EINTR) return false;
      if (left <= std::chrono::milliseconds(0)) return false;
    }
  }

  void Address(bool local, std::string& ip, int& port) const {
    sockaddr_in address{};
    socklen_t length = sizeof(address);
    const int done = local ? ::getsockname(_fd, reinterpret_cast<sockaddr*>(&address), &length)
                           : ::getpeername(_fd, reinterpret_cast<sockaddr*>(&address), &length);
    char text[INET_ADDRSTRLEN] = {};
    if (done == 0 && address.sin_family == AF_INET)
      ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof(text));
    ip = text;
    port = done == 0 ? ntohs(address.sin_port) : 0;
  }

  int _fd;
  const std::atomic<bool>& _stopping;
  HeadState& _head;
};

// httplib's server with connections served through GuardedStream, and a listen
// backlog that takes a burst of connections (the library's is 5).
class GuardedHttp final : public httplib::Server {
 public:
  explicit GuardedHttp(const std::atomic<bool>& stopping) : _stopping(stopping) {}

  void WidenBacklog() { ::listen(svr_sock_, SOMAXCONN); }

 private:
  bool process_and_close_socket(socket_t sock) override {
    const int on = 1;
    ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    HeadState head;
    t_head = &head;
    t_socket = sock;
    GuardedStream stream(sock, _stopping, head);
    bool ok = true;
    for (size_t count = 0; ok && count < keep_alive_max_count_ && !_stopping.load(); ++count) {
      // A kept-alive connection may wait a while before its next request starts.
      if (count > 0 && !stream.is_readable()) {
        const auto idle =
            std::chrono::steady_clock::now() + std::chrono::seconds(keep_alive_timeout_sec_);
        bool more = false;
        while (!more && !_stopping.load() && std::chrono::steady_clock::now() < idle) {
          pollfd p{sock, POLLIN, 0};
          more = ::poll(&p, 1, static_cast<int>(kSlice.count())) > 0;
        }
        if (!more) break;
      }
      head.inHead = true;
      head.bytes = 0;
      head.deadline = std::chrono::steady_clock::now() + kHeadDeadline;
      bool closed = false;
      // Answers go uncompressed: over loopback compression only costs time, and
      // httplib's brotli at its top quality takes tens of milliseconds a page.
      ok = process_request(stream, count + 1 == keep_alive_max_count_, closed,
                           [](httplib::Request& req) { req.headers.erase("Accept-Encoding"); });
      RequestEnds();
      ok = ok && !closed;
    }
    t_head = nullptr;
    t_socket = -1;
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return true;
  }

  const std::atomic<bool>& _stopping;
};

// The request's head was read whole: what follows (the body) is not the head's.
void HeadRead() {
  if (t_head) t_head->inHead = false;
}

bool ConstantTimeEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  volatile unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff = diff | static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

// Ids the pages make (tab, load): plain and short.
bool IsId(std::string_view id) {
  if (id.size() < 8 || id.size() > 64) return false;
  return std::all_of(id.begin(), id.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
           c == '_';
  });
}

bool IsCatalogName(std::string_view name) {
  if (name.empty() || name.size() > 64) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
           c == '_';
  });
}

bool ParseCount(std::string_view text, uint64_t& value) {
  if (text.empty() || text.size() > 19) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

std::string Quote(std::string_view text) {
  return QORJsonString(text);
}

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

size_t FindTag(std::string_view html, std::string_view name) {
  for (size_t at = 0; at + name.size() + 1 < html.size(); ++at) {
    if (html[at] != '<') continue;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i)
      same = std::tolower(static_cast<unsigned char>(html[at + 1 + i])) == name[i];
    if (!same) continue;
    char next = html[at + 1 + name.size()];
    if (next == '>' || next == ' ' || next == '\t' || next == '\n' || next == '\r') {
      size_t close = html.find('>', at);
      return close == std::string_view::npos ? std::string_view::npos : close + 1;
    }
  }
  return std::string_view::npos;
}

// The bridge goes first in <head>, before the page's own scripts.
std::string InjectBridge(std::string_view html, std::string_view tag) {
  size_t at = FindTag(html, "head");
  if (at == std::string_view::npos) at = FindTag(html, "html");
  if (at == std::string_view::npos) at = FindTag(html, "!doctype");
  if (at == std::string_view::npos) at = 0;
  std::string out;
  out.reserve(html.size() + tag.size());
  out.append(html.substr(0, at)).append(tag).append(html.substr(at));
  return out;
}

// The value of the named cookie in the request's Cookie headers, "" when absent.
std::string CookieValue(const Request& req, std::string_view name) {
  const size_t count = req.get_header_value_count("Cookie");
  for (size_t i = 0; i < count; ++i) {
    const std::string header = req.get_header_value("Cookie", i);
    std::string_view rest(header);
    while (!rest.empty()) {
      const size_t end = std::min(rest.find(';'), rest.size());
      std::string_view pair = rest.substr(0, end);
      rest.remove_prefix(std::min(end + 1, rest.size()));
      while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
      const size_t eq = pair.find('=');
      if (eq != std::string_view::npos && pair.substr(0, eq) == name)
        return std::string(pair.substr(eq + 1));
    }
  }
  return "";
}

void Secure(Response& res) {
  static const std::pair<const char*, const char*> kHeaders[] = {
      {"Content-Security-Policy",
       "default-src 'self'; script-src 'self'; object-src 'none'; base-uri 'none'; "
       "frame-ancestors 'self'"},
      {"X-Content-Type-Options", "nosniff"},
      {"Cache-Control", "no-store"},
      {"Referrer-Policy", "no-referrer"},
  };
  for (const auto& [name, value] : kHeaders)
    if (!res.has_header(name)) res.set_header(name, value);
}

HandlerResponse Refuse(Response& res, int status, std::string_view why) {
  res.status = status;
  res.set_content(std::string(why) + "\n", "text/plain; charset=utf-8");
  // A refused request's body is never read, so the connection cannot carry another.
  res.set_header("Connection", "close");
  return HandlerResponse::Handled;
}

HandlerResponse Json(Response& res, std::string body, int status = 200) {
  res.status = status;
  res.set_content(std::move(body), "application/json");
  return HandlerResponse::Handled;
}

// Serves bytes that outlive the response through owner, without copying them.
HandlerResponse Serve(Response& res, std::string_view bytes, std::string_view mediaType,
                      std::shared_ptr<const void> owner) {
  res.status = 200;
  if (bytes.empty()) {
    res.set_content(std::string(), std::string(mediaType));
    return HandlerResponse::Handled;
  }
  res.set_content_provider(bytes.size(), std::string(mediaType),
                           [bytes, owner](size_t offset, size_t length, httplib::DataSink& sink) {
                             return sink.write(bytes.data() + offset, length);
                           });
  return HandlerResponse::Handled;
}

class Server final : public QORWebServer {
 public:
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
  bool Admit(const Request& req, Response& res, const QORWebPage* page, bool windowPage) {
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

  enum class Holder { Yes, Missing, Other };

  std::shared_ptr<QORWebPage> FindPage(std::string_view token) {
    std::shared_ptr<QORWebPage> found;
    std::lock_guard<std::mutex> lock(_mutex);
    // Every page is compared, to the last byte: the time taken tells nothing.
    for (const auto& page : _pages)
      if (ConstantTimeEqual(page->token, token)) found = page;
    return found;
  }

  std::shared_ptr<QORWebPage> PageOf(const Request& req) {
    if (req.path.size() < 34) return nullptr;
    return FindPage(std::string_view(req.path).substr(1, 32));
  }

  // The first tab to ask holds the session; a reload of it is the same tab. Under the
  // page's lock.
  static Holder Hold(QORWebPage& page, const Request& req) {
    const std::string tab = req.get_header_value(std::string(kTabHeader));
    if (req.get_header_value_count(std::string(kTabHeader)) != 1 || !IsId(tab))
      return Holder::Missing;
    if (page.tab.empty()) page.tab = tab;
    return ConstantTimeEqual(page.tab, tab) ? Holder::Yes : Holder::Other;
  }

  static HandlerResponse RefuseHolder(Response& res, Holder holder, const QORWebPage& page) {
    if (holder == Holder::Missing) return Refuse(res, 400, "no page session");
    res.set_header("Connection", "close");
    return Json(res, "{\"text\":" + Quote(page.otherTabText) + "}", 409);
  }

  // Waits (page locked) until ready, the page changes hands or goes, or the server
  // stops; false when too many requests wait already or a newer poll took over.
  template <class Ready>
  bool Wait(std::unique_lock<std::mutex>& lock, QORWebPage& page, uint64_t QORWebPage::*turnOf,
            Ready ready) {
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

  void PostToHost(const std::shared_ptr<QORWebPage>& page, size_t bytes,
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
  static bool Reserve(QORWebPage& page, size_t bytes) {
    const size_t limit = QORDialogToolkit::GetMessageSizeLimit();
    if (page.pendingWork >= kMaxPendingWork || page.pendingBytes + bytes > 2 * limit) return false;
    page.pendingWork += 1;
    page.pendingBytes += bytes;
    return true;
  }

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

bool Server::Start() {
  _http.new_task_queue = [] { return new BoundedPool(kWorkers, kQueuedConnections); };
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
    if (length > QORDialogToolkit::GetMessageSizeLimit()) return Refuse(res, 413, "too large");
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
      rest.starts_with("webapps/"))
    return Asset(rest, res, page);
  return Refuse(res, 404, "not found");
}

HandlerResponse Server::WindowPage(Response& res, const std::shared_ptr<QORWebPage>& page) {
  std::optional<QORWebAssets::Asset> asset = QORWebAssets::Find("__qor/window.html");
  if (!asset) return Refuse(res, 500, "the window page is missing");
  std::string html(asset->bytes);
  const std::string base = "/" + page->token;
  std::string title, viewer;
  {
    std::lock_guard<std::mutex> lock(page->mutex);
    title = page->title;
    viewer = page->viewerPath.empty() ? "about:blank" : base + "/" + page->viewerPath;
  }
  ReplaceAll(html, "{{BASE}}", base);
  ReplaceAll(html, "{{LANG}}", EscapeHtml(page->language));
  ReplaceAll(html, "{{TITLE}}", EscapeHtml(title));
  ReplaceAll(html, "{{VIEWER}}", EscapeHtml(viewer));
  ReplaceAll(html, "{{CLOSE}}", EscapeHtml(page->closeText));
  ReplaceAll(html, "{{CLOSED_TEXT}}", EscapeHtml(page->closedText));
  res.status = 200;
  res.set_content(std::move(html), "text/html; charset=utf-8");
  return HandlerResponse::Handled;
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
      QOREventLoop::Host().Post([page] { QORWebHost::RaiseLoadStart(page); });
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

HandlerResponse Server::Script(std::string_view id, Response& res,
                               const std::shared_ptr<QORWebPage>& page) {
  std::shared_ptr<const std::string> script;
  {
    std::lock_guard<std::mutex> lock(page->mutex);
    auto found = page->oneShots.end();
    for (auto it = page->oneShots.begin(); it != page->oneShots.end(); ++it)
      if (ConstantTimeEqual(it->id, id)) found = it;
    if (found == page->oneShots.end()) return Refuse(res, 404, "not found");
    script = std::move(found->script);
    page->oneShots.erase(found);  // served once
  }
  std::string_view text(*script);
  return Serve(res, text, "text/javascript; charset=utf-8", std::move(script));
}

HandlerResponse Server::Asset(std::string_view path, Response& res,
                              const std::shared_ptr<QORWebPage>& page) {
  std::optional<QORWebAssets::Asset> asset = QORWebAssets::Find(path);
  if (!asset) return Refuse(res, 404, "not found");
  if (path.starts_with("webapps/") && asset->mediaType.starts_with("text/html")) {
    bool first = false;
    {
      std::lock_guard<std::mutex> lock(page->mutex);
      first = !page->loadStarted && !page->gone && path == page->viewerPath;
      if (first) page->loadStarted = true;
    }
    // The viewer's page starts loading now: what the program sends it on LoadStart is
    // made while the browser boots the page, not after.
    if (first) QOREventLoop::Host().Post([page] { QORWebHost::RaiseLoadStart(page); });
    const std::string tag = "<script src=\"/" + page->token +
                            "/__qor/bridge.js\" data-language=\"" + EscapeHtml(page->language) +
                            "\"></script>";
    res.status = 200;
    res.set_content(InjectBridge(asset->bytes, tag), std::string(asset->mediaType));
    return HandlerResponse::Handled;
  }
  return Serve(res, asset->bytes, asset->mediaType, asset->owner);
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
  PostToHost(page, 0, [page, button] { QORWebHost::ClickButton(page, button); });
  res.status = 204;
  return HandlerResponse::Handled;
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
  PostToHost(page, 0, [page] { QORWebHost::RaiseClosed(page); });
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
    page->leaveDeadline = std::chrono::steady_clock::now() + QORDialogToolkit::GetLeaveGrace();
  }
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _watchSignal = true;
  }
  _watch.notify_all();
  return HandlerResponse::Handled;
}

void Server::Message(const Request& req, Response& res, const httplib::ContentReader& read) {
  std::shared_ptr<QORWebPage> page = PageOf(req);
  if (!page) {
    Refuse(res, 404, "not found");
    return;
  }
  const size_t limit = QORDialogToolkit::GetMessageSizeLimit();
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
  PostToHost(page, bytes, [page, shared] { QORWebHost::RaiseMessage(page, std::move(*shared)); });
  res.status = 204;
}

void Server::Watch() {
  std::unique_lock<std::mutex> lock(_mutex);
  while (!_stopping) {
    std::vector<std::shared_ptr<QORWebPage>> pages = _pages;
    _watchSignal = false;
    lock.unlock();
    bool anyLeaving = false;
    const auto now = std::chrono::steady_clock::now();
    const auto lostGrace = QORDialogToolkit::GetLostGrace();
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
      if (expired) PostToHost(page, 0, [page] { QORWebHost::RaiseClosed(page); });
      if (lost) PostToHost(page, 0, [page] { QORWebHost::PageLost(page); });
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

std::atomic<Server*> g_server{nullptr};

}  // namespace

namespace {
std::mutex& InstanceMutex() {
  static std::mutex* mutex = new std::mutex();
  return *mutex;
}
bool g_stopped = false;
}  // namespace

void QORWebServer::StopRunning() {
  std::lock_guard<std::mutex> lock(InstanceMutex());
  g_stopped = true;
  if (Server* running = g_server.load()) running->Stop();
}

QORWebServer* QORWebServer::Instance() {
  // Never destroyed: the server's threads are joined at exit, the objects left be.
  std::lock_guard<std::mutex> lock(InstanceMutex());
  if (g_stopped) return nullptr;
  if (Server* running = g_server.load()) return running;
  // The caller is the host thread: make sure the loop knows it before any server
  // thread posts to it.
  QOREventLoop::Host();
  auto* server = new Server();
  if (!server->Start()) {
    delete server;
    return nullptr;
  }
  g_server = server;
  std::atexit([] { QORWebServer::StopRunning(); });
  return server;
}
