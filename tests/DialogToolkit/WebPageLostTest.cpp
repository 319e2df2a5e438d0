// A page whose browser went away without a word (killed, crashed): the window closes
// as if the user closed it, after a grace, and the user is told; a page that is still
// there, however slowly it asks, is never taken as gone.
#include <gtest/gtest.h>

#include "DialogToolkit/WebDialogFixture.h"

namespace {

using namespace std::chrono_literals;

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

  // The window's current state version, as the window page asks for it.
  std::string Version(PageClient& page) {
    return ParseJson(OffHost([&] { return page.Get("/__qor/state"); })).ReadRawString("v").Str();
  }

  // A long poll of the window page on a connection of its own, left waiting.
  int OpenPoll(PageClient& page, const std::string& version) {
    const int fd = ConnectLoopback(port);
    if (fd < 0) return -1;
    const std::string request =
        "GET " + page.Base() + "/__qor/state?v=" + version +
        "&load=window00000001 HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
        "\r\nCookie: " + page.Cookie() + "\r\nX-Qor-Tab: " + page.Tab() + "\r\n\r\n";
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    return fd;
  }

  bool Told() const {
    return notices.size() == 1 && notices[0].find("stopped answering") != std::string::npos;
  }

  std::vector<std::string> notices;
};

TEST_F(WebPageLost, ABrowserKilledDuringAPollClosesTheWindowAfterTheGraceAndSaysSo) {
  QORDialogToolkit::SetLostGrace(400ms);
  Show();
  PageClient page(port, token);
  const int poll = OpenPoll(page, Version(page));
  ASSERT_GE(poll, 0);
  // Waiting far beyond the grace is being there.
  RunFor(1s);
  EXPECT_TRUE(recorder->closed.empty());
  close(poll);  // what the system does to a killed browser's sockets
  RunFor(150ms);
  EXPECT_TRUE(recorder->closed.empty()) << "closed before the grace";
  ASSERT_TRUE(RunUntil([&] { return !recorder->closed.empty(); }, 5s));
  EXPECT_EQ(recorder->closed[0], dialog);
  EXPECT_TRUE(Told());
  // The page, if it ever came back, finds the window closed.
  EXPECT_EQ(
      ParseJson(OffHost([&] { return page.Get("/__qor/state"); })).ReadRawString("closed").Str(),
      "true");
  RunFor(600ms);
  EXPECT_EQ(recorder->closed.size(), 1u);
}

TEST_F(WebPageLost, OnlyAPageThatWasSeenAndThenAskedNothingForTheGraceIsGone) {
  QORDialogToolkit::SetLostGrace(300ms);
  Show();
  // Nobody opened the address yet: nothing to lose.
  RunFor(800ms);
  EXPECT_TRUE(recorder->closed.empty());
  PageClient page(port, token);
  // Requests coming one after the other, each within the grace, keep it open.
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(OffHost([&] { return Status(page.Get("/__qor/state")); }), 200);
    RunFor(150ms);
  }
  EXPECT_TRUE(recorder->closed.empty());
  ASSERT_TRUE(RunUntil([&] { return !recorder->closed.empty(); }, 5s));
  EXPECT_TRUE(Told());
}

TEST_F(WebPageLost, AHiddenWindowOrOneTheUserClosedIsNotClosedAgain) {
  QORDialogToolkit::SetLostGrace(200ms);
  Show();
  PageClient page(port, token);
  EXPECT_EQ(OffHost([&] { return Status(page.Post("/__qor/close")); }), 204);
  ASSERT_TRUE(RunUntil([&] { return !recorder->closed.empty(); }));
  RunFor(700ms);
  EXPECT_EQ(recorder->closed.size(), 1u);
  EXPECT_TRUE(notices.empty());
}

TEST_F(WebPageLost, ABrowserTheKitStartedThatEndsShortensTheGrace) {
  QORDialogToolkit::SetLostGrace(60s);
  // A "browser" that lives a second after the page is asked for.
  QORDialogToolkit::SetBrowserCommand("sh -c 'sleep 1'");
  Show();
  PageClient page(port, token);
  const auto seen = std::chrono::steady_clock::now();
  ASSERT_TRUE(RunUntil([&] { return !recorder->closed.empty(); }, 8s));
  EXPECT_GT(std::chrono::steady_clock::now() - seen, 900ms);
  EXPECT_TRUE(Told());
}

TEST_F(WebPageLost, ALauncherThatEndsBeforeThePageIsAskedForIsNoSignOfLoss) {
  QORDialogToolkit::SetLostGrace(60s);
  // As a launcher that hands the address to a browser already running.
  QORDialogToolkit::SetBrowserCommand("true");
  Show();
  RunFor(300ms);
  PageClient page(port, token);
  RunFor(3s);
  EXPECT_TRUE(recorder->closed.empty());
}

}  // namespace
