// DialogTestSupport.h - what the dialog toolkit's tests share: classes of the object
// model made here, an event recorder, a page played by an HTTP client, and the fixture
// of a shown dialog whose content is a web viewer on a small test page.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <regex>
#include <string>
#include <vector>

#include "DialogToolkit/QORDialogToolkit.h"
#include "DialogToolkit/QORVidCtlWebViewer.h"
#include "DialogToolkit/QORVidFraDialog.h"
#include "DialogToolkit/QORVidFraDialogButtonClickedEventArgs.h"
#include "DialogToolkit/QORVidJSMessageEventArgs.h"
#include "DialogToolkit/QORWebAssets.h"
#include "EventToolkit/QOREventHandler.h"
#include "EventToolkit/QOREventLoop.h"
#include "EventToolkit/QORSYPEventArgs.h"
#include "JsonStreams/JIStream.h"
#include "ObjectModelRuntime/QORMetaClass.h"

using namespace std::chrono_literals;

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

// Subscribes target's method to a widget's event; the widget keeps the handler.
template <class Target, class Args>
void Subscribe(QORVidWidget* widget, QOREvent* event, Target* target,
               void (Target::*method)(QORBaseUnknown*, Args*)) {
  auto* handler = new QORMethodEventHandler<Target, Args>(target, method);
  widget->AddHandler(event, handler, 0);
  handler->Release();
}

// Records the events it is subscribed to, and whether they ran on the host thread.
class EventRecorder : public QORBaseUnknown {
 public:
  void OnLoadStart(QORBaseUnknown* sender, QORSYPEventArgs*) { Note(loadStarts, sender); }
  void OnClosed(QORBaseUnknown* sender, QORSYPEventArgs*) { Note(closed, sender); }
  void OnMessage(QORBaseUnknown*, QORVidJSMessageEventArgs* args) {
    std::vector<std::string> strings;
    for (const QORUnicodeString& s : args->GetMessages()) strings.push_back(s.Str());
    Note(messages, std::move(strings));
  }
  void OnAccept(QORBaseUnknown*, QORVidFraDialogButtonClickedEventArgs* args) {
    Note(accepted, args->GetStandardButton());
  }
  void OnReject(QORBaseUnknown*, QORVidFraDialogButtonClickedEventArgs* args) {
    Note(rejected, args->GetStandardButton());
  }

  std::vector<QORBaseUnknown*> loadStarts, closed;
  std::vector<std::vector<std::string>> messages;
  std::vector<int> accepted, rejected;
  int offHostThread = 0;

 private:
  template <class List, class Value>
  void Note(List& list, Value value) {
    list.push_back(std::move(value));
    if (!QOREventLoop::Host().IsHostThread()) ++offHostThread;
  }
};

// Work on another thread, as a browser's requests run beside the program. The result
// is set before the host loop is woken, so a RunUntil waiting on it sees it at once.
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
  bool Ready() const { return _result.wait_for(0s) == std::future_status::ready; }
  Result get() { return _result.get(); }

 private:
  std::future<Result> _result;
  std::future<void> _thread;  // joined when this goes
};

template <class Work>
auto Async(Work work) {
  return Background<decltype(work())>(std::move(work));
}

// Runs work on another thread while the host thread turns the event loop.
template <class Work>
auto OffHost(Work work, std::chrono::milliseconds limit = 30s) {
  auto future = Async(std::move(work));
  QOREventLoop::Host().RunUntil([&] { return future.Ready(); }, limit);
  return future.get();
}

inline int Status(const httplib::Result& answer) {
  return answer ? answer->status : -1;
}

inline JSON::JIStream ParseJson(const httplib::Result& answer) {
  JSON::JIStream json;
  if (answer) json.Parse(answer->body);
  return json;
}

// One browser tab, played by an HTTP client: the window page's requests and the
// viewer page's (through the bridge's protocol). Tabs of one browser share its cookie:
// without one, the tab loads the window page to be given it.
class PageClient {
 public:
  PageClient(int port, const std::string& token, std::string cookie = "",
             std::string tab = "tab0000000000000000000000000000a")
      : _port(port), _base("/" + token), _tab(std::move(tab)), _client("127.0.0.1", port) {
    _client.set_read_timeout(40, 0);
    if (cookie.empty()) {
      auto page = _client.Get(_base + "/");
      _setCookie = page ? page->get_header_value("Set-Cookie") : "";
      cookie = _setCookie.substr(0, _setCookie.find(';'));
    }
    _cookie = cookie;
    _client.set_default_headers({{"Cookie", cookie}});
  }

  const std::string& Cookie() const { return _cookie; }
  const std::string& SetCookie() const { return _setCookie; }
  const std::string& Base() const { return _base; }
  std::string Origin() const { return "http://127.0.0.1:" + std::to_string(_port); }
  const std::string& Tab() const { return _tab; }

  httplib::Result Get(const std::string& path, httplib::Headers headers = {}) {
    headers.emplace("X-Qor-Tab", _tab);
    return _client.Get(_base + path, headers);
  }
  httplib::Result Post(const std::string& path, const std::string& body = "") {
    return _client.Post(_base + path, {{"X-Qor-Tab", _tab}, {"Origin", Origin()}}, body,
                        "application/json");
  }

  // A new load of the viewer page (its first, or a reload).
  std::string LoadViewer(const std::string& servedPath) {
    static std::atomic<int> loads{0};
    _load = "load" + std::to_string(1000000 + loads.fetch_add(1)) + _tab.substr(0, 8);
    _next = 0;
    auto page = _client.Get(_base + "/" + servedPath);
    return page && page->status == 200 ? page->body : "";
  }

  // One answer of the script stream: the scripts' addresses (empty on a time-out).
  std::vector<std::string> NextScriptAddresses(int* status = nullptr) {
    auto answer = Get("/__qor/scripts?load=" + _load + "&after=" + std::to_string(_next));
    if (status) *status = Status(answer);
    JSON::JIStream json;
    std::vector<std::string> addresses;
    if (Status(answer) != 200 || !json.Parse(answer->body)) return addresses;
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
        texts.push_back(Status(script) == 200 ? script->body : "<missing>");
      }
    }
    return texts;
  }

  httplib::Client& Raw() { return _client; }

 private:
  int _port;
  std::string _base, _tab, _cookie, _setCookie;
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

// Sends request as it is on a new connection; what came back until the server closed it.
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

inline constexpr char kViewerPath[] = "webapps/DialogToolkitTests/viewer.html";
inline const std::string kViewerRoute = std::string("/") + kViewerPath;

class WebDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    QORDialogToolkit::SetBackend(QORDialogToolkit::Backend::Web);
    QORDialogToolkit::SetBrowserCommand("");
    QORDialogToolkit::SetMessageSizeLimit(size_t(256) << 20);
    QORDialogToolkit::SetLeaveGrace(3s);
    QORDialogToolkit::SetAddressSink([this](const std::string& a) { announced.push_back(a); });
    ASSERT_TRUE(QORWebAssets::Register(
        kViewerPath, "<!doctype html><html><head><meta charset=\"utf-8\"><title>viewer</title>",
        "text/html; charset=utf-8"));
    recorder = new EventRecorder();
    dialog = new QORVidFraDialog(nullptr, "TestDialog");
    dialog->SetTitle(QORUnicodeString("Filter <import> & \"check\""));
    dialog->SetStandardButtons(QORVidFraDialog::kOK | QORVidFraDialog::kCancel);
    viewer = new QORVidCtlWebViewer(dialog, "TestViewer", QORUnicodeString());
    viewer->SetHomeURL(QORUnicodeString((std::string("zqrtv://") + kViewerPath).c_str()));
    viewer->Build();
    Subscribe(dialog, QORVidFraWindow::Closed(), recorder, &EventRecorder::OnClosed);
    Subscribe(dialog, QORVidFraDialog::AcceptButtonClicked(), recorder, &EventRecorder::OnAccept);
    Subscribe(dialog, QORVidFraDialog::RejectButtonClicked(), recorder, &EventRecorder::OnReject);
    Subscribe(viewer, QORVidCtlWebViewer::LoadStart(), recorder, &EventRecorder::OnLoadStart);
    Subscribe(viewer, QORVidCtlWebViewer::JSMessage(), recorder, &EventRecorder::OnMessage);
    dialog->SetApplicativeWidget(viewer);
  }

  void TearDown() override {
    if (viewer) viewer->RequestDelayedDestruction();
    if (dialog) dialog->RequestDelayedDestruction();
    QOREventLoop::Host().RunPending();
    recorder->Release();
    QORDialogToolkit::SetAddressSink(nullptr);
    QORDialogToolkit::SetMessageSizeLimit(size_t(256) << 20);
    QORWebAssets::Unregister(kViewerPath);
  }

  // Shows the dialog and reads its announced address.
  void Show() {
    dialog->SetVisibleFlag(1);
    ASSERT_EQ(announced.size(), 1u);
    std::smatch match;
    static const std::regex kAddress(R"(^http://127\.0\.0\.1:(\d+)/([0-9a-f]{32})/$)");
    ASSERT_TRUE(std::regex_match(announced[0], match, kAddress)) << announced[0];
    port = std::stoi(match[1]);
    token = match[2];
    EXPECT_EQ(dialog->GetAddress(), announced[0]);
  }

  bool RunUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s) {
    return QOREventLoop::Host().RunUntil(condition, limit);
  }
  // Turns the loop for a while, for things that must not happen.
  void RunFor(std::chrono::milliseconds time) {
    QOREventLoop::Host().RunUntil([] { return false; }, time);
  }

  std::vector<std::string> announced;
  EventRecorder* recorder = nullptr;
  QORVidFraDialog* dialog = nullptr;
  QORVidCtlWebViewer* viewer = nullptr;
  int port = 0;
  std::string token;
};
