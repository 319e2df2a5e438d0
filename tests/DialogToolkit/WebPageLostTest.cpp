// A page whose browser went away without a word (killed, crashed): the window closes
// as if the user closed it, after a grace, and the user is told; a page that is still
// there, however slowly it asks, is never taken as gone.
#include <gtest/gtest.h>

#include "DialogToolkit/DialogTestSupport.h"

namespace {

class WebPageLost : public WebDialog {
 protected:
  void SetUp() override {
    WebDialog::SetUp();
    QORDialogToolkit::SetNoticeSink([this](const std::string& text) { notices.push_back(text); });
  }
  void TearDown() override {
    QORDialogToolkit::SetNoticeSink(nullptr);
    QORDialogToolkit::SetBrowserCommand("");
    QORDialogToolkit::SetLostGrace(20s);
    WebDialog::TearDown();
  }

  bool ClosedAndTold() {
    return RunUntil([&] { return !recorder->closed.empty(); }, 8s) && notices.size() == 1 &&
           notices[0].find("stopped answering") != std::string::npos;
  }

  std::vector<std::string> notices;
};

TEST_F(WebPageLost, ABrowserKilledDuringAPollClosesTheWindowOnceAfterTheGrace) {
  QORDialogToolkit::SetLostGrace(400ms);
  Show();
  RunFor(800ms);  // nobody opened the address yet: nothing to lose
  PageClient page(port, token);
  const std::string version =
      ParseJson(OffHost([&] { return page.Get("/__qor/state"); })).ReadRawString("v").Str();
  // A long poll on a connection of its own, waiting far beyond the grace, is being there.
  const int poll = ConnectLoopback(port);
  const std::string request =
      "GET " + page.Base() + "/__qor/state?v=" + version +
      "&load=window00000001 HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
      "\r\nCookie: " + page.Cookie() + "\r\nX-Qor-Tab: " + page.Tab() + "\r\n\r\n";
  ASSERT_GT(send(poll, request.data(), request.size(), MSG_NOSIGNAL), 0);
  RunFor(1s);
  EXPECT_TRUE(recorder->closed.empty());
  close(poll);  // what the system does to a killed browser's sockets
  RunFor(150ms);
  EXPECT_TRUE(recorder->closed.empty()) << "closed before the grace";
  EXPECT_TRUE(ClosedAndTold());
  EXPECT_EQ(
      ParseJson(OffHost([&] { return page.Get("/__qor/state"); })).ReadRawString("closed").Str(),
      "true");
  RunFor(600ms);
  EXPECT_EQ(recorder->closed.size(), 1u);
}

// A browser the kit started that ends shortens the grace; a launcher that ends before
// the page is asked for (it handed the address to a running browser) is no sign.
TEST_F(WebPageLost, OnlyABrowserThatEndsAfterThePageWasAskedForShortensTheGrace) {
  QORDialogToolkit::SetLostGrace(60s);
  QORDialogToolkit::SetBrowserCommand("true");
  Show();
  RunFor(300ms);
  PageClient launched(port, token);
  RunFor(1500ms);
  EXPECT_TRUE(recorder->closed.empty());

  announced.clear();
  recorder->closed.clear();
  QORDialogToolkit::SetBrowserCommand("sh -c 'sleep 1'");
  auto* second = new QORVidFraDialog(nullptr, "Second");
  Subscribe(second, QORVidFraWindow::Closed(), recorder, &EventRecorder::OnClosed);
  second->SetVisibleFlag(1);
  ASSERT_EQ(announced.size(), 1u);
  PageClient page(port, announced[0].substr(announced[0].size() - 33, 32));
  const auto seen = std::chrono::steady_clock::now();
  EXPECT_TRUE(ClosedAndTold());
  EXPECT_GT(std::chrono::steady_clock::now() - seen, 900ms);
  second->RequestDelayedDestruction();
}

}  // namespace
