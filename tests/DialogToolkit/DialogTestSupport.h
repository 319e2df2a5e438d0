// DialogTestSupport.h - what the dialog toolkit's tests share: classes of the object
// model made here, an event recorder, and a page played by an HTTP client.
#pragma once

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "DialogToolkit/QORVidFraDialogButtonClickedEventArgs.h"
#include "DialogToolkit/QORVidJSMessageEventArgs.h"
#include "EventToolkit/QOREventLoop.h"
#include "EventToolkit/QORSYPEventArgs.h"
#include "JsonStreams/JIStream.h"
#include "ObjectModelRuntime/QORBaseUnknown.h"
#include "ObjectModelRuntime/QORMetaClass.h"

// The meta protocol of a class defined in a test, derived from Parent.
#define DIALOG_TEST_META(Class, Parent)                                                 \
 public:                                                                                \
  static const QORMetaClass* MetaObject() {                                             \
    static std::atomic<const QORMetaClass*> slot{nullptr};                              \
    return zqy::internal::LazyComponentMetaObject(slot, #Class, &Parent::MetaObject,    \
                                                  "DialogToolkitTests", sizeof(Class)); \
  }                                                                                     \
  const QORMetaClass* GetMetaObject() const override {                                  \
    return MetaObject();                                                                \
  }                                                                                     \
  const char* IsA() const override {                                                    \
    return MetaObject()->GetName();                                                     \
  }                                                                                     \
  int IsAKindOf(const char* name) const override {                                      \
    return MetaObject()->IsAKindOf(name);                                               \
  }

// Records the events it is subscribed to, and on which thread they ran.
class EventRecorder : public QORBaseUnknown {
 public:
  void OnLoadStart(QORBaseUnknown* sender, QORSYPEventArgs*) {
    loadStarts.push_back(sender);
    Note();
  }
  void OnClosed(QORBaseUnknown* sender, QORSYPEventArgs*) {
    closed.push_back(sender);
    Note();
  }
  void OnMessage(QORBaseUnknown*, QORVidJSMessageEventArgs* args) {
    std::vector<std::string> strings;
    for (const QORUnicodeString& s : args->GetMessages()) strings.push_back(s.Str());
    messages.push_back(std::move(strings));
    Note();
  }
  void OnAccept(QORBaseUnknown*, QORVidFraDialogButtonClickedEventArgs* args) {
    accepted.push_back(args->GetStandardButton());
    Note();
  }
  void OnReject(QORBaseUnknown*, QORVidFraDialogButtonClickedEventArgs* args) {
    rejected.push_back(args->GetStandardButton());
    Note();
  }

  std::vector<QORBaseUnknown*> loadStarts, closed;
  std::vector<std::vector<std::string>> messages;
  std::vector<int> accepted, rejected;
  int offHostThread = 0;  // events that ran on another thread than the host's

 private:
  void Note() {
    if (!QOREventLoop::Host().IsHostThread()) ++offHostThread;
  }
};

// Work running on another thread, as a browser's requests run beside the program.
// Its result is ready before the host loop is woken, so a RunUntil waiting on it sees
// it at once; the thread is joined when this goes.
template <class Result>
class Background {
 public:
  template <class Work>
  explicit Background(Work work) {
    auto promise = std::make_shared<std::promise<Result>>();
    _result = promise->get_future();
    _thread = std::async(std::launch::async, [promise, work = std::move(work)]() mutable {
      promise->set_value(work());
      QOREventLoop::Host().Post([] {});
    });
  }
  template <class Duration>
  std::future_status wait_for(Duration d) const {
    return _result.wait_for(d);
  }
  Result get() { return _result.get(); }

 private:
  std::future<Result> _result;
  std::future<void> _thread;
};

template <class Work>
auto Async(Work work) {
  return Background<decltype(work())>(std::move(work));
}

template <class Result>
bool IsReady(const Background<Result>& future) {
  return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

// Runs work on another thread while the host thread turns the event loop, as a
// browser's requests and the program's events interleave; gives the work's result.
template <class Work>
auto OffHost(Work work, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  auto future = Async(std::move(work));
  QOREventLoop::Host().RunUntil([&] { return IsReady(future); }, limit);
  return future.get();
}

// One browser tab, played by an HTTP client: the window page's requests and the
// viewer page's (through the bridge's protocol).
class PageClient {
 public:
  PageClient(int port, std::string token, std::string tab = "tab0000000000000000000000000000a")
      : _port(port),
        _token(std::move(token)),
        _base("/" + _token),
        _tab(std::move(tab)),
        _client("127.0.0.1", port) {
    _client.set_read_timeout(40, 0);
    _client.set_keep_alive(true);
    _client.set_tcp_nodelay(true);
    // Tabs of one browser share its cookie: the first loads the window page for it,
    // while tabs made at the same time on other threads wait.
    static std::mutex jarMutex;
    std::lock_guard<std::mutex> lock(jarMutex);
    std::string& cookie = CookieJar()[std::to_string(port) + "/" + _token];
    if (cookie.empty()) {
      auto page = _client.Get(_base + "/");
      if (page && page->has_header("Set-Cookie")) {
        const std::string set = page->get_header_value("Set-Cookie");
        cookie = set.substr(0, set.find(';'));
        SetCookies()[std::to_string(port) + "/" + _token] = set;
      }
    }
    if (!cookie.empty()) _client.set_default_headers({{"Cookie", cookie}});
  }

  // The browser's cookies, by port and page token.
  static std::map<std::string, std::string>& CookieJar() {
    static std::map<std::string, std::string> jar;
    return jar;
  }
  // The Set-Cookie headers as the server sent them, by the same key.
  static std::map<std::string, std::string>& SetCookies() {
    static std::map<std::string, std::string> headers;
    return headers;
  }
  const std::string& Cookie() const { return CookieJar()[std::to_string(_port) + "/" + _token]; }
  const std::string& SetCookie() const {
    return SetCookies()[std::to_string(_port) + "/" + _token];
  }

  const std::string& Base() const { return _base; }
  std::string Origin() const { return "http://127.0.0.1:" + std::to_string(_port); }
  const std::string& Tab() const { return _tab; }

  httplib::Result Get(const std::string& path, httplib::Headers headers = {}) {
    headers.emplace("X-Qor-Tab", _tab);
    return _client.Get(Base() + path, headers);
  }
  httplib::Result Post(const std::string& path, const std::string& body = "",
                       httplib::Headers headers = {}) {
    headers.emplace("X-Qor-Tab", _tab);
    if (headers.find("Origin") == headers.end()) headers.emplace("Origin", Origin());
    return _client.Post(Base() + path, headers, body, "application/json");
  }

  // A new load of the viewer page (its first, or a reload): the page, then the
  // bridge's first question for scripts.
  std::string LoadViewer(const std::string& servedPath) {
    static std::atomic<int> loads{0};
    _load = "load" + std::to_string(1000000 + loads.fetch_add(1)) + _tab.substr(0, 8);
    _next = 0;
    auto page = _client.Get(Base() + "/" + servedPath);
    return page && page->status == 200 ? page->body : "";
  }

  // One answer of the script stream: the scripts' addresses (empty on a time-out).
  std::vector<std::string> NextScriptAddresses(int* status = nullptr) {
    auto answer = Get("/__qor/scripts?load=" + _load + "&after=" + std::to_string(_next));
    if (status) *status = answer ? answer->status : -1;
    std::vector<std::string> addresses;
    if (!answer || answer->status != 200) return addresses;
    JSON::JIStream json;
    if (!json.Parse(answer->body)) return addresses;
    for (const QORUnicodeString& s : json.ReadStrings("scripts")) addresses.push_back(s.Str());
    _next = std::stoul(json.ReadRawString("next").Str());
    return addresses;
  }

  // Follows the stream until count scripts came, fetching each; the texts in order.
  std::vector<std::string> RunScripts(size_t count) {
    std::vector<std::string> texts;
    for (int turns = 0; texts.size() < count && turns < 20; ++turns) {
      for (const std::string& address : NextScriptAddresses()) {
        auto script = _client.Get(address);
        texts.push_back(script && script->status == 200 ? script->body : "<missing>");
      }
    }
    return texts;
  }

  httplib::Client& Raw() { return _client; }

 private:
  int _port;
  std::string _token;
  std::string _base;
  std::string _tab;
  httplib::Client _client;
  std::string _load;
  size_t _next = 0;
};

// A connection to the dialog server on loopback, -1 when refused.
inline int ConnectLoopback(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Sends request as it is on a new connection and gives what came back until the
// server closed it (for requests a well-behaved client cannot make).
inline std::string RawExchange(int port, const std::string& request) {
  const int fd = ConnectLoopback(port);
  if (fd < 0) return "";
  timeval timeout{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
  std::string answer;
  if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
      static_cast<ssize_t>(request.size())) {
    char buffer[4096];
    for (ssize_t n; (n = recv(fd, buffer, sizeof(buffer), 0)) > 0;)
      answer.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return answer;
}

// The status code of a raw answer, -1 when there is none.
inline int RawStatus(const std::string& answer) {
  if (answer.size() < 12 || !answer.starts_with("HTTP/1.")) return -1;
  return std::atoi(answer.substr(9, 3).c_str());
}
