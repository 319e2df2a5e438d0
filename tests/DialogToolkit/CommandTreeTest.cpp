// The command tree: how a notification travels from its sender to the callbacks that
// take it, and that the tree releases it exactly once whatever happens to it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CommandFramework/QORCommand.h"
#include "DialogToolkit/DialogTestSupport.h"

namespace {

int g_notificationsDestroyed = 0;

class PanelNotif : public QORNotification {
  DIALOG_TEST_META(PanelNotif, QORNotification)
 public:
  explicit PanelNotif(std::string text = "") : QORNotification(-1), _text(std::move(text)) {}
  ~PanelNotif() override { ++g_notificationsDestroyed; }
  const std::string& Text() const { return _text; }

 private:
  std::string _text;
};

class PanelClosedNotif : public PanelNotif {
  DIALOG_TEST_META(PanelClosedNotif, PanelNotif)
 public:
  using PanelNotif::PanelNotif;
};

class OtherNotif : public QORNotification {
  DIALOG_TEST_META(OtherNotif, QORNotification)
 public:
  ~OtherNotif() override { ++g_notificationsDestroyed; }
};

// A command that writes down the notifications its callbacks take.
class Recording : public QORCommand {
 public:
  Recording(QORCommand* father, const char* name, std::vector<std::string>* log)
      : QORCommand(father, name), _log(log) {}

  void Take(QORCommand* sender, QORNotification* notification, void* data) {
    std::string entry = GetName() + " took " + notification->IsA();
    if (sender) entry += " from " + sender->GetName();
    if (data) entry += " with " + std::string(static_cast<const char*>(data));
    _log->push_back(entry);
  }
  void TakeAgain(QORCommand* sender, QORNotification* notification, void* data) {
    _log->push_back("again: ");
    Take(sender, notification, data);
  }

 private:
  std::vector<std::string>* _log;
};

QORCommandMethod Take() {
  return static_cast<QORCommandMethod>(&Recording::Take);
}

class CommandTree : public ::testing::Test {
 protected:
  void SetUp() override {
    g_notificationsDestroyed = 0;
    liveBefore = QORLiveAllocations();
  }
  // Every notification sent was released: none is left alive.
  void ExpectAllReleased(int sent) {
    EXPECT_EQ(g_notificationsDestroyed, sent);
    EXPECT_EQ(QORLiveAllocations(), liveBefore);
  }

  std::vector<std::string> log;
  long liveBefore = 0;
};

TEST_F(CommandTree, ANotificationIsDeliveredAtOnceToTheReceiversCallbacksInOrder) {
  Recording root(nullptr, "root", &log);
  Recording panel(&root, "panel", &log);
  static char tag[] = "tag";
  panel.AddAnalyseNotificationCB(nullptr, "PanelNotif", Take(), tag);
  panel.AddAnalyseNotificationCB(nullptr, "PanelNotif",
                                 static_cast<QORCommandMethod>(&Recording::TakeAgain), nullptr);
  panel.SendNotification(&panel, new PanelNotif("x"));
  // Delivered before SendNotification returned, each callback once, in the order added.
  EXPECT_EQ(log, (std::vector<std::string>{"panel took PanelNotif from panel with tag",
                                           "again: ", "panel took PanelNotif from panel"}));
  ExpectAllReleased(1);
}

TEST_F(CommandTree, AnUnhandledNotificationBubblesUpToTheFirstFatherThatTakesIt) {
  Recording root(nullptr, "root", &log);
  Recording middle(&root, "middle", &log);
  Recording leaf(&middle, "leaf", &log);
  root.AddAnalyseNotificationCB(nullptr, "PanelNotif", Take(), nullptr);
  leaf.AddAnalyseNotificationCB(nullptr, "OtherNotif", Take(), nullptr);

  leaf.SendNotification(&leaf, new PanelNotif());
  EXPECT_EQ(log, std::vector<std::string>{"root took PanelNotif from leaf"});

  // Taken on the way: it goes no further.
  log.clear();
  middle.AddAnalyseNotificationCB(nullptr, "PanelNotif", Take(), nullptr);
  leaf.SendNotification(&leaf, new PanelNotif());
  EXPECT_EQ(log, std::vector<std::string>{"middle took PanelNotif from leaf"});
  ExpectAllReleased(2);
}

TEST_F(CommandTree, TheTreeReleasesEveryNotificationExactlyOnceHandledOrNot) {
  Recording root(nullptr, "root", &log);
  Recording leaf(&root, "leaf", &log);
  leaf.AddAnalyseNotificationCB(nullptr, "PanelNotif", Take(), nullptr);

  leaf.SendNotification(&leaf, new PanelNotif());  // handled where it was sent
  ExpectAllReleased(1);
  leaf.SendNotification(&root, new PanelNotif());  // handled by nobody on the way up
  ExpectAllReleased(2);
  leaf.SendNotification(&leaf, new OtherNotif());  // dropped at the root
  ExpectAllReleased(3);
  leaf.SendNotification(nullptr, new PanelNotif());  // no receiver at all
  ExpectAllReleased(4);
  EXPECT_EQ(log.size(), 1u);
}

TEST_F(CommandTree, SendingANullNotificationDoesNothing) {
  Recording root(nullptr, "root", &log);
  root.AddAnalyseNotificationCB(nullptr, "QORNotification", Take(), nullptr);
  root.SendNotification(&root, nullptr);
  EXPECT_TRUE(log.empty());
  ExpectAllReleased(0);
}

TEST_F(CommandTree, ACallbackWithASenderOnlyTakesNotificationsFromThatSender) {
  Recording root(nullptr, "root", &log);
  Recording panel(&root, "panel", &log);
  Recording a(&panel, "a", &log);
  Recording b(&panel, "b", &log);
  panel.AddAnalyseNotificationCB(&a, "PanelNotif", Take(), nullptr);
  root.AddAnalyseNotificationCB(nullptr, "PanelNotif", Take(), nullptr);

  a.SendNotification(&panel, new PanelNotif());
  b.SendNotification(&panel, new PanelNotif());  // not b's: goes on to the root
  EXPECT_EQ(log, (std::vector<std::string>{"panel took PanelNotif from a",
                                           "root took PanelNotif from b"}));
  ExpectAllReleased(2);
}

TEST_F(CommandTree, CallbacksMatchTheClassNameOrAnyClassItDerivesFrom) {
  Recording root(nullptr, "root", &log);
  root.AddAnalyseNotificationCB(nullptr, "PanelNotif", Take(), nullptr);
  Recording closedOnly(nullptr, "closedOnly", &log);
  closedOnly.AddAnalyseNotificationCB(nullptr, "PanelClosedNotif", Take(), nullptr);

  root.SendNotification(&root, new PanelClosedNotif());        // derived: taken as a PanelNotif
  root.SendNotification(&root, new OtherNotif());              // unrelated: not taken
  closedOnly.SendNotification(&closedOnly, new PanelNotif());  // a base is not a derived
  EXPECT_EQ(log, std::vector<std::string>{"root took PanelClosedNotif from root"});

  log.clear();
  Recording any(nullptr, "any", &log);
  any.AddAnalyseNotificationCB(nullptr, "QORNotification", Take(), nullptr);
  any.SendNotification(&any, new OtherNotif());
  EXPECT_EQ(log, std::vector<std::string>{"any took OtherNotif from any"});
  ExpectAllReleased(4);
}

TEST_F(CommandTree, ARemovedCallbackNoLongerRuns) {
  Recording root(nullptr, "root", &log);
  const int id = root.AddAnalyseNotificationCB(nullptr, "PanelNotif", Take(), nullptr);
  EXPECT_NE(id, 0);
  EXPECT_EQ(root.AddAnalyseNotificationCB(nullptr, nullptr, Take(), nullptr), 0);
  root.RemoveAnalyseNotificationCB(id);
  root.SendNotification(&root, new PanelNotif());
  EXPECT_TRUE(log.empty());
  ExpectAllReleased(1);
}

TEST_F(CommandTree, ACommandLeavesItsFatherWhenItGoes) {
  Recording root(nullptr, "root", &log);
  auto* child = new Recording(&root, "child", &log);
  ASSERT_EQ(root.GetChildren().size(), 1u);
  EXPECT_EQ(child->GetFather(), &root);
  child->Release();
  EXPECT_TRUE(root.GetChildren().empty());
}

}  // namespace
