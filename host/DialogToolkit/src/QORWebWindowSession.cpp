// QORWebWindowSession.cpp - the page session of one shown window: it copies what the
// window shows into the page state the server reads, announces the address, opens the
// browser, and raises on the host thread the events the page's requests stand for.
#include "DialogToolkit/src/QORWebWindowSession.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "DialogToolkit/QORDialogToolkit.h"
#include "DialogToolkit/QORVidCtlWebViewer.h"
#include "DialogToolkit/QORVidFraDialog.h"
#include "DialogToolkit/QORVidJSMessageEventArgs.h"
#include "DialogToolkit/QORWebAssets.h"
#include "DialogToolkit/src/QORWebPage.h"
#include "DialogToolkit/src/QORWebScriptText.h"
#include "DialogToolkit/src/QORWebServer.h"
#include "DialogToolkit/src/QORWebSystem.h"
#include "EventToolkit/QORSYPEventArgs.h"
#include "JsonStreams/QORJsonString.h"
#include "ObjectModelRuntime/QORMsgCatalog.h"

namespace {

constexpr const char kCatalog[] = "DialogToolkit";
constexpr std::string_view kWebAppScheme = "zqrtv://webapps/";
// Scripts with a literal this long carry it as text beside them (see QORWebScriptText.h).
constexpr size_t kTextApartFrom = 256 * 1024;

std::string Text(const char* key, const char* english) {
  return QORMsgCatalog::BuildMessage(kCatalog, key, {}, QORUnicodeString(english)).Str();
}

// "zqrtv://webapps/X" is the program's web application X, served as webapps/X.
std::string ServedPath(const QORUnicodeString& url) {
  std::string_view text = url.View();
  if (!text.starts_with(kWebAppScheme) || text.size() == kWebAppScheme.size()) return "";
  return "webapps/" + std::string(text.substr(kWebAppScheme.size()));
}

// A live widget that still raises events, or null.
template <class Widget>
Widget* Alive(const QORWeakRef& ref) {
  auto* widget = static_cast<Widget*>(ref.Get());
  return widget && !widget->IsDestructionRequested() ? widget : nullptr;
}

bool IsGone(QORWebPage& page) {
  std::lock_guard<std::mutex> lock(page.mutex);
  return page.gone;
}

// --- what the server's requests stand for, run on the host thread

void RaiseLoadStart(const std::shared_ptr<QORWebPage>& page) {
  if (IsGone(*page)) return;
  auto* viewer = Alive<QORVidCtlWebViewer>(page->viewer);
  if (!viewer || !Alive<QORVidFraWindow>(page->window)) return;
  auto* args = new QORSYPEventArgs();
  if (!args) return;
  viewer->RaiseEvent(QORVidCtlWebViewer::LoadStart(), args);
  args->Release();
}

void RaiseMessage(const std::shared_ptr<QORWebPage>& page, std::vector<QORUnicodeString> strings) {
  if (IsGone(*page)) return;
  auto* viewer = Alive<QORVidCtlWebViewer>(page->viewer);
  if (!viewer || !Alive<QORVidFraWindow>(page->window)) return;
  auto* args = new QORVidJSMessageEventArgs(std::move(strings));
  if (!args) return;
  viewer->RaiseEvent(QORVidCtlWebViewer::JSMessage(), args);
  args->Release();
}

void ClickButton(const std::shared_ptr<QORWebPage>& page, int button) {
  if (IsGone(*page)) return;
  auto* window = Alive<QORVidFraWindow>(page->window);
  auto* dialog = window ? dynamic_cast<QORVidFraDialog*>(window) : nullptr;
  if (dialog) dialog->ClickStandardButton(button);
}

void RaiseClosed(const std::shared_ptr<QORWebPage>& page) {
  if (IsGone(*page)) return;
  auto* window = Alive<QORVidFraWindow>(page->window);
  if (!window) return;
  auto* args = new QORSYPEventArgs();
  if (!args) return;
  window->RaiseEvent(QORVidFraWindow::Closed(), args);
  args->Release();
}

void PageLost(const std::shared_ptr<QORWebPage>& page) {
  if (IsGone(*page) || !Alive<QORVidFraWindow>(page->window)) return;
  QORDialogToolkit::Notice(Text("PageLost",
                                "the page stopped answering (its browser was closed or ended); "
                                "the window is closed as if cancelled"));
  RaiseClosed(page);
}

class WebWindowSession final : public QORWebWindowSession {
 public:
  WebWindowSession(QORWebServer& server, std::shared_ptr<QORWebPage> page, QORVidFraWindow* window)
      : _server(server), _page(std::move(page)), _window(window) {
    _address = "http://127.0.0.1:" + std::to_string(_server.Port()) + "/" + _page->token + "/";
  }

  ~WebWindowSession() override { Close(); }

  void Update() override { Sync(); }
  void ScriptAdded() override { Sync(); }

  void Close() override {
    if (_closed) return;
    _closed = true;
    ForgetTexts();
    {
      std::lock_guard<std::mutex> lock(_page->mutex);
      _page->gone = true;
      _page->version += 1;
    }
    _page->changed.notify_all();
    _server.Remove(_page.get());
  }

  std::string Address() const override { return _address; }

  // Shows the window's page: the address is announced, and opened in the browser
  // when the toolkit has a browser command.
  void Show() {
    QORDialogToolkit::AnnounceAddress(_address);
    const std::string command = QORDialogToolkit::GetBrowserCommand();
    int group = 0;
    if (!command.empty() && !QORLaunchBrowser(command, _address, &group))
      std::fprintf(stderr, "dialog: the browser command could not be started\n");
    std::lock_guard<std::mutex> lock(_page->mutex);
    _page->browserGroup = group;
    _page->browserEnded = false;
  }

  void Sync() {
    if (_closed) return;
    QORWebPage& page = *_page;
    const bool visible = _window->GetVisibleFlag() != 0;
    const bool reshown = visible && !page.shown;
    page.shown = visible;

    // The viewer: a new one starts its scripts afresh. A pointer seen before is only
    // followed while its weak reference says it lives.
    QORVidWidget* applicative = _window->GetApplicativeWidget();
    QORVidCtlWebViewer* viewer = nullptr;
    if (applicative && applicative == page.viewerSeen)
      viewer = static_cast<QORVidCtlWebViewer*>(page.viewer.Get());
    else if (applicative)
      viewer = dynamic_cast<QORVidCtlWebViewer*>(applicative);
    const bool newViewer = applicative != page.viewerSeen;
    if (newViewer) {
      page.viewerSeen = applicative;
      page.viewer = QORWeakRef(viewer);
      page.scriptsCopied = 0;
    }
    if (newViewer) ForgetTexts();
    std::vector<std::shared_ptr<const std::string>> added;
    if (viewer) {
      const auto& scripts = viewer->GetSharedScripts();
      for (size_t i = page.scriptsCopied; i < scripts.size(); ++i)
        added.push_back(Carried(scripts[i]));
      page.scriptsCopied = scripts.size();
    }
    auto* dialog = dynamic_cast<QORVidFraDialog*>(_window);

    bool again = false;
    {
      std::lock_guard<std::mutex> lock(page.mutex);
      page.title = _window->GetTitle().Str();
      page.buttons = dialog ? dialog->GetStandardButtons() : 0;
      page.visible = visible;
      page.closeButton = _window->GetCloseButtonFlag() != 0;
      if (newViewer) {
        page.scripts.clear();
        page.oneShots.clear();
        page.viewerPath = viewer ? ServedPath(viewer->GetHomeURL()) : "";
      }
      page.scripts.insert(page.scripts.end(), added.begin(), added.end());
      if (reshown && page.closedByUser) {
        // The user closed the page and the program shows the window again: a new tab
        // may take it.
        page.closedByUser = false;
        page.leaving = false;
        page.seen = false;
        page.tab.clear();
        page.windowLoad.clear();
        page.load.clear();
        page.oneShots.clear();
        again = true;
      }
      page.version += 1;
    }
    page.changed.notify_all();
    if (again) Show();
  }

 private:
  // The script as the page gets it: a long literal goes as text beside a small script
  // that fetches it and runs the same code with the text in the literal's place. The
  // bridge waits for that before it runs the next script.
  std::shared_ptr<const std::string> Carried(const QORVidCtlWebViewer::Script& script) {
    if (script.text) {
      // Given apart already: a long text is served as it is, a short one joined.
      if (script.text->size() < kTextApartFrom)
        return std::make_shared<const std::string>(script.Joined());
      auto fetching = Fetching(*script.code, script.text, script.after);
      return fetching ? fetching : std::make_shared<const std::string>(script.Joined());
    }
    if (script.code->size() < kTextApartFrom) return script.code;
    QORWebScriptText parts;
    if (!QORSplitScriptText(*script.code, kTextApartFrom, parts)) return script.code;
    auto fetching = Fetching(
        parts.before, std::make_shared<const std::string>(std::move(parts.text)), parts.after);
    return fetching ? fetching : script.code;
  }

  // The small script that fetches text and runs before + text + after; null when the
  // text cannot be served.
  std::shared_ptr<const std::string> Fetching(const std::string& before,
                                              std::shared_ptr<const std::string> text,
                                              const std::string& after) {
    std::string id;
    if (!QORWebRandomHex(16, id)) return nullptr;
    const std::string path = "webapps/__qor_text/" + id;
    if (!QORWebAssets::Register(path, std::move(text), "text/plain; charset=utf-8")) return nullptr;
    _texts.push_back(path);
    return std::make_shared<const std::string>(
        "(function () {\n"
        "  var done = fetch('/" +
        _page->token + "/" + path +
        "', { cache: 'no-store' }).then(function (answer) {\n"
        "    if (!answer.ok) throw new Error('the text of a script is gone (' + answer.status + "
        "')');\n"
        // Taken whole as a blob, then read: text() decodes each piece on the page's
        // thread as it comes, beside the page's boot; TextDecoder makes a two-byte
        // string of ASCII, the blob's text() a one-byte one.
        "    return answer.blob();\n"
        "  }).then(function (blob) {\n"
        "    return blob.text();\n"
        "  }).then(function (__qorText) {\n" +
        before + "__qorText" + after +
        "\n  });\n"
        "  if (window.qor && window.qor.hold) window.qor.hold(done);\n"
        "})();\n");
  }

  void ForgetTexts() {
    for (const std::string& path : _texts) QORWebAssets::Unregister(path);
    _texts.clear();
  }

  QORWebServer& _server;
  std::shared_ptr<QORWebPage> _page;
  QORVidFraWindow* _window;
  std::string _address;
  bool _closed = false;
  std::vector<std::string> _texts;  // texts served beside scripts, host thread only
};

}  // namespace

QORWebWindowSession* QORWebWindowSession::Open(QORVidFraWindow* window) {
  if (!window) return nullptr;
  QORWebServerSetup setup;
  setup.messageSizeLimit = &QORDialogToolkit::GetMessageSizeLimit;
  setup.leaveGrace = &QORDialogToolkit::GetLeaveGrace;
  setup.lostGrace = &QORDialogToolkit::GetLostGrace;
  setup.loadStart = &RaiseLoadStart;
  setup.message = &RaiseMessage;
  setup.button = &ClickButton;
  setup.closed = &RaiseClosed;
  setup.pageLost = &PageLost;
  QORWebServer* server = QORWebServer::Instance(setup);
  if (!server) return nullptr;
  std::string token;
  if (!QORWebRandomHex(16, token)) return nullptr;

  auto page = std::make_shared<QORWebPage>(token);
  page->window = QORWeakRef(window);
  page->language = QORMsgCatalog::Language();
  page->labelsJson = "{\"2\":" + QORJsonString(Text("OK", "OK")) +
                     ",\"4\":" + QORJsonString(Text("Apply", "Apply")) +
                     ",\"8\":" + QORJsonString(Text("Save", "Save")) +
                     ",\"16\":" + QORJsonString(Text("Cancel", "Cancel")) + "}";
  page->closedText = Text("DialogClosed", "This dialog is closed.");
  page->otherTabText = Text("DialogInOtherTab", "This dialog is open in another tab.");
  page->closeText = Text("Close", "Close");

  auto* session = new WebWindowSession(*server, page, window);
  session->Sync();
  server->Add(page);
  if (window->GetVisibleFlag()) session->Show();
  return session;
}
