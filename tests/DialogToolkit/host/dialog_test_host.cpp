// dialog_test_host - a tiny program for the real-browser test: it shows a dialog whose
// content is a web viewer on a small test page and reports on standard output, one
// line each, what it hears:
//   address <url>       the dialog's address, to open in the browser
//   loadstart           the viewer's page started (the program then pushes a script)
//   message <json>      a message the page posted (a JSON array of strings)
//   button <value>      a standard button clicked
//   closed              the user closed the window (the program then exits 0)
// Options: --grace-ms N (leave grace), --timeout-s N (gives up with exit code 3).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "DialogToolkit/QORDialogToolkit.h"
#include "DialogToolkit/QORVidCtlWebViewer.h"
#include "DialogToolkit/QORVidFraDialog.h"
#include "DialogToolkit/QORVidFraDialogButtonClickedEventArgs.h"
#include "DialogToolkit/QORVidJSMessageEventArgs.h"
#include "DialogToolkit/QORWebAssets.h"
#include "EventToolkit/QOREventHandler.h"
#include "EventToolkit/QOREventLoop.h"
#include "EventToolkit/QORSYPEventArgs.h"
#include "JsonStreams/QORJsonString.h"

namespace {

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

class Probe : public QORBaseUnknown {
 public:
  QORVidCtlWebViewer* viewer = nullptr;
  bool closed = false;

  void OnLoadStart(QORBaseUnknown*, QORSYPEventArgs*) {
    Say("loadstart");
    viewer->RunJavaScript("document.getElementById('pushed').textContent = 'pushed script ran';",
                          __FILE__, __LINE__);
  }
  void OnMessage(QORBaseUnknown*, QORVidJSMessageEventArgs* args) {
    std::string line = "message [";
    for (const QORUnicodeString& s : args->GetMessages())
      line += (line.back() == '[' ? "" : ",") + QORJsonString(s.Str());
    Say(line + "]");
  }
  void OnButton(QORBaseUnknown*, QORVidFraDialogButtonClickedEventArgs* args) {
    Say("button " + std::to_string(args->GetStandardButton()));
    if (args->GetStandardButton() == QORVidFraDialog::kOK)
      viewer->RunJavaScript("document.getElementById('ok').textContent = 'ok seen';", __FILE__,
                            __LINE__);
  }
  void OnClosed(QORBaseUnknown*, QORSYPEventArgs*) {
    Say("closed");
    closed = true;
  }
};

template <class Args>
void Subscribe(QORVidWidget* widget, QOREvent* event, Probe* probe,
               void (Probe::*method)(QORBaseUnknown*, Args*)) {
  auto* handler = new QORMethodEventHandler<Probe, Args>(probe, method);
  widget->AddHandler(event, handler, 0);
  handler->Release();
}

}  // namespace

int main(int argc, char** argv) {
  long graceMs = 3000, timeoutS = 120;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--grace-ms") == 0) graceMs = std::atol(argv[i + 1]);
    if (std::strcmp(argv[i], "--timeout-s") == 0) timeoutS = std::atol(argv[i + 1]);
  }
  QOREventLoop& loop = QOREventLoop::Host();
  QORDialogToolkit::SetBackend(QORDialogToolkit::Backend::Web);
  QORDialogToolkit::SetBrowserCommand("");
  QORDialogToolkit::SetLeaveGrace(std::chrono::milliseconds(graceMs));
  QORDialogToolkit::SetAddressSink([](const std::string& address) { Say("address " + address); });
  QORWebAssets::Register("webapps/DialogToolkitTests/browser.html",
                         "<!doctype html><html lang=\"en\"><head><meta charset=\"utf-8\">"
                         "<title>Browser test page</title></head><body><p id=\"pushed\">waiting"
                         "</p><p id=\"ok\"></p></body></html>",
                         "text/html; charset=utf-8");

  auto* probe = new Probe();
  auto* dialog = new QORVidFraDialog(nullptr, "BrowserTestDialog");
  dialog->SetTitle(QORUnicodeString("Browser test dialog"));
  dialog->SetStandardButtons(QORVidFraDialog::kOkCancel);
  auto* viewer = new QORVidCtlWebViewer(dialog, "BrowserTestViewer", QORUnicodeString());
  probe->viewer = viewer;
  viewer->SetHomeURL("zqrtv://webapps/DialogToolkitTests/browser.html");
  viewer->Build();
  Subscribe(dialog, QORVidFraWindow::Closed(), probe, &Probe::OnClosed);
  Subscribe(dialog, QORVidFraDialog::AcceptButtonClicked(), probe, &Probe::OnButton);
  Subscribe(dialog, QORVidFraDialog::RejectButtonClicked(), probe, &Probe::OnButton);
  Subscribe(viewer, QORVidCtlWebViewer::LoadStart(), probe, &Probe::OnLoadStart);
  Subscribe(viewer, QORVidCtlWebViewer::JSMessage(), probe, &Probe::OnMessage);
  dialog->SetApplicativeWidget(viewer);
  dialog->SetVisibleFlag(1);
  if (dialog->GetAddress().empty()) {
    Say("error: the dialog could not be shown");
    return 2;
  }
  // Runs until the user closes the window, or gives up.
  const int code =
      loop.RunUntil([&] { return probe->closed; }, std::chrono::seconds(timeoutS)) ? 0 : 3;
  if (code) Say("error: no close within the time limit");
  viewer->RequestDelayedDestruction();
  dialog->RequestDelayedDestruction();
  loop.RunPending();
  probe->Release();
  return code;
}
