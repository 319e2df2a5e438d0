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
#include <future>
#include <regex>

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
#include "JsonStreams/QORJsonString.h"
#include "ObjectModelRuntime/QORMetaClass.h"

using namespace std::chrono_literals;

// Subscribes target's method to a widget's event; the widget keeps the handler.
template <class Target, class Args>
void Subscribe(QORVidWidget* widget, QOREvent* event, Target* target,
               void (Target::*method)(QORBaseUnknown*, Args*)) {
  auto* handler = new QORMethodEventHandler<Target, Args>(target, method);
  widget->AddHandler(event, handler, 0);
  handler->Release();
}

// Writes down the events it is subscribed to, one line each: "loadstart <sender>",
// "message <JSON array of its strings>", "accept <button>", "reject <button>",
// "closed <sender>"; and counts those raised off the host thread.
class EventRecorder : public QORBaseUnknown {
 public:
  void OnLoadStart(QORBaseUnknown* s, QORSYPEventArgs*) { Note("loadstart " + NameOf(s)); }
  void OnClosed(QORBaseUnknown* s, QORSYPEventArgs*) { Note("closed " + NameOf(s)); }
  void OnMessage(QORBaseUnknown*, QORVidJSMessageEventArgs* args) {
    std::string strings;
    for (const QORUnicodeString& s : args->GetMessages())
      strings += (strings.empty() ? "" : ",") + QORJsonString(s.Str());
    Note("message [" + strings + "]");
  }
  void OnAccept(QORBaseUnknown*, QORVidFraDialogButtonClickedEventArgs* args) {
    Note("accept " + std::to_string(args->GetStandardButton()));
  }
  void OnReject(QORBaseUnknown*, QORVidFraDialogButtonClickedEventArgs* args) {
    Note("reject " + std::to_string(args->GetStandardButton()));
  }

  std::vector<std::string> log;
  int offHostThread = 0;

 private:
  static std::string NameOf(QORBaseUnknown* widget) {
    return static_cast<QORCommand*>(widget)->GetName();
  }
  void Note(std::string line) {
    log.push_back(std::move(line));
    if (!QOREventLoop::Host().IsHostThread()) ++offHostThread;
  }
};

// Work on another thread, as a browser's requests run beside the program. The result
// is set before the host loop is woken, so a RunUntil waiting on it sees it at once.
template <class Result>
struct Background {
  std::shared_ptr<std::promise<Result>> promise = std::make_shared<std::promise<Result>>();
  std::future<Result> result = promise->get_future();
  std::future<void> thread;  // joined first when this goes
  bool Ready() const { return result.wait_for(0s) == std::future_status::ready; }
  Result get() { return result.get(); }
};

template <class Work>
auto Async(Work work) {
  Background<decltype(work())> background;
  background.thread = std::async(std::launch::async, [promise = background.promise, work]() {
    promise->set_value(work());
    QOREventLoop::Host().Post([] {});
  });
  return background;
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

inline constexpr char kViewerPath[] = "webapps/DialogToolkitTests/viewer.html";

// One browser tab, played by an HTTP client: the window page's requests and the
// viewer page's (through the bridge's protocol). Tabs of one browser share its cookie:
// without one, the tab loads the window page to be given it.
struct PageClient {
  PageClient(int port, const std::string& token, std::string cookie = "")
      : base("/" + token),
        origin("http://127.0.0.1:" + std::to_string(port)),
        client("127.0.0.1", port) {
    client.set_read_timeout(40, 0);
    if (cookie.empty()) {
      auto page = client.Get(base + "/");
      setCookie = page ? page->get_header_value("Set-Cookie") : "";
      cookie = setCookie.substr(0, setCookie.find(';'));
    }
    this->cookie = cookie;
    client.set_default_headers({{"Cookie", cookie}});
  }

  httplib::Result Get(const std::string& path) {
    return client.Get(base + path, {{"X-Qor-Tab", tab}});
  }
  httplib::Result Post(const std::string& path, const std::string& body = "") {
    return client.Post(base + path, {{"X-Qor-Tab", tab}, {"Origin", origin}}, body,
                       "application/json");
  }

  // A new load of the viewer page (its first, or a reload).
  std::string LoadViewer() {
    static std::atomic<int> loads{0};
    load = "load" + std::to_string(1000000 + loads.fetch_add(1)) + tab.substr(0, 8);
    next = 0;
    return Fetch(base + "/" + kViewerPath);
  }

  // One answer of the script stream: the scripts' addresses (empty on a time-out).
  std::vector<std::string> NextScriptAddresses() {
    auto answer = Get("/__qor/scripts?load=" + load + "&after=" + std::to_string(next));
    JSON::JIStream json;
    std::vector<std::string> addresses;
    if (Status(answer) != 200 || !json.Parse(answer->body)) return addresses;
    for (const QORUnicodeString& s : json.ReadStrings("scripts")) addresses.push_back(s.Str());
    next = std::stoul(json.ReadRawString("next").Str());
    return addresses;
  }

  // The window state the page polls for, asked off the host thread.
  std::string State(const std::string& field, const std::string& query = "") {
    return ParseJson(OffHost([&] { return Get("/__qor/state" + query); }))
        .ReadRawString(field.c_str())
        .Str();
  }

  // The body served at address (a whole path), or "<status>" when it is not 200.
  std::string Fetch(const std::string& address) {
    auto answer = client.Get(address);
    return Status(answer) == 200 ? answer->body : "<" + std::to_string(Status(answer)) + ">";
  }

  // Follows the stream until count scripts came, fetching each; the texts in order.
  std::vector<std::string> RunScripts(size_t count) {
    std::vector<std::string> texts;
    for (int turns = 0; texts.size() < count && turns < 20; ++turns)
      for (const std::string& address : NextScriptAddresses()) texts.push_back(Fetch(address));
    return texts;
  }

  std::string base, origin, tab = "tab0000000000000000000000000000a", cookie, setCookie;
  httplib::Client client;
  std::string load;
  size_t next = 0;
};

// A connection to the dialog server on loopback, -1 when refused.
inline int ConnectLoopback(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) return fd;
  close(fd);
  return -1;
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

class WebDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    QORDialogToolkit::SetBackend(QORDialogToolkit::Backend::Web);
    QORDialogToolkit::SetBrowserCommand("");
    QORDialogToolkit::SetMessageSizeLimit(size_t(256) << 20);
    QORDialogToolkit::SetLeaveGrace(3s);
    QORDialogToolkit::SetAddressSink([this](const std::string& a) { announced.push_back(a); });
    QORDialogToolkit::SetNoticeSink([this](const std::string& text) { notices.push_back(text); });
    QORDialogToolkit::SetLostGrace(20s);
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
    EXPECT_EQ(recorder->offHostThread, 0) << "events raised off the host thread";
    recorder->Release();
    QORDialogToolkit::SetAddressSink(nullptr);
    QORDialogToolkit::SetNoticeSink(nullptr);
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
  }

  bool RunUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s) {
    return QOREventLoop::Host().RunUntil(condition, limit);
  }
  // Turns the loop for a while, for things that must not happen.
  void RunFor(std::chrono::milliseconds time) {
    QOREventLoop::Host().RunUntil([] { return false; }, time);
  }

  std::vector<std::string> announced, notices;
  EventRecorder* recorder = nullptr;
  QORVidFraDialog* dialog = nullptr;
  QORVidCtlWebViewer* viewer = nullptr;
  int port = 0;
  std::string token;
};
