// WebDialogFixture.h - a shown dialog whose content is a web viewer on a small test
// page, with every event it raises recorded.
#pragma once

#include <gtest/gtest.h>

#include <regex>

#include "DialogToolkit/DialogTestSupport.h"
#include "DialogToolkit/QORDialogToolkit.h"
#include "DialogToolkit/QORVidCtlWebViewer.h"
#include "DialogToolkit/QORVidFraDialog.h"
#include "DialogToolkit/QORWebAssets.h"
#include "EventToolkit/QOREventHandler.h"

using namespace std::chrono_literals;

inline constexpr char kViewerPath[] = "webapps/DialogToolkitTests/viewer.html";
inline const std::string kViewerRoute = std::string("/") + kViewerPath;
inline constexpr char kViewerUrl[] = "zqrtv://webapps/DialogToolkitTests/viewer.html";
inline constexpr char kViewerHtml[] =
    "<!doctype html><html><head><meta charset=\"utf-8\"><title>viewer</title></head>"
    "<body><p id=\"out\"></p></body></html>";

class WebDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    QORDialogToolkit::SetBackend(QORDialogToolkit::Backend::Web);
    QORDialogToolkit::SetBrowserCommand("");
    QORDialogToolkit::SetMessageSizeLimit(size_t(256) << 20);
    QORDialogToolkit::SetLeaveGrace(3s);
    QORDialogToolkit::SetAddressSink(
        [this](const std::string& address) { announced.push_back(address); });
    ASSERT_TRUE(QORWebAssets::Register(kViewerPath, kViewerHtml, "text/html; charset=utf-8"));

    recorder = new EventRecorder();
    dialog = new QORVidFraDialog(nullptr, "TestDialog");
    dialog->SetTitle(QORUnicodeString("Filter <import> & \"check\""));
    dialog->SetStandardButtons(QORVidFraDialog::kOK | QORVidFraDialog::kCancel);
    viewer = new QORVidCtlWebViewer(dialog, "TestViewer", QORUnicodeString());
    viewer->SetHomeURL(kViewerUrl);
    viewer->Build();
    Subscribe(dialog, QORVidFraWindow::Closed(),
              new QORMethodEventHandler<EventRecorder, QORSYPEventArgs>(recorder,
                                                                        &EventRecorder::OnClosed));
    Subscribe(dialog, QORVidFraDialog::AcceptButtonClicked(),
              new QORMethodEventHandler<EventRecorder, QORVidFraDialogButtonClickedEventArgs>(
                  recorder, &EventRecorder::OnAccept));
    Subscribe(dialog, QORVidFraDialog::RejectButtonClicked(),
              new QORMethodEventHandler<EventRecorder, QORVidFraDialogButtonClickedEventArgs>(
                  recorder, &EventRecorder::OnReject));
    Subscribe(viewer, QORVidCtlWebViewer::LoadStart(),
              new QORMethodEventHandler<EventRecorder, QORSYPEventArgs>(
                  recorder, &EventRecorder::OnLoadStart));
    Subscribe(viewer, QORVidCtlWebViewer::JSMessage(),
              new QORMethodEventHandler<EventRecorder, QORVidJSMessageEventArgs>(
                  recorder, &EventRecorder::OnMessage));
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

  static void Subscribe(QORVidWidget* widget, QOREvent* event, QOREventHandler* handler) {
    widget->AddHandler(event, handler, 0);
    handler->Release();
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

inline JSON::JIStream ParseJson(const httplib::Result& answer) {
  JSON::JIStream json;
  if (answer) json.Parse(answer->body);
  return json;
}

inline int Status(const httplib::Result& answer) {
  return answer ? answer->status : -1;
}
