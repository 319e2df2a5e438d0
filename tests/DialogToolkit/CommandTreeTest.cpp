// The command tree: how a notification travels from its sender to the callbacks that
// take it, and that the tree releases it exactly once whatever happens to it.
#include <gtest/gtest.h>

#include "CommandFramework/QORCommand.h"
#include "DialogToolkit/DialogTestSupport.h"

namespace {

int g_notificationsDestroyed = 0;

class PanelNotif : public QORNotification {
  DIALOG_TEST_META(PanelNotif, QORNotification)
 public:
  PanelNotif() : QORNotification(-1) {}
  ~PanelNotif() override { ++g_notificationsDestroyed; }
};

class PanelClosedNotif : public PanelNotif {
  DIALOG_TEST_META(PanelClosedNotif, PanelNotif)
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
    _log->push_back(GetName() + " took " + notification->IsA() + " from " + sender->GetName() +
                    (data ? " with " + std::string(static_cast<const char*>(data)) : ""));
  }

 private:
  std::vector<std::string>* _log;
};

const QORCommandMethod kTake = static_cast<QORCommandMethod>(&Recording::Take);

TEST(CommandTree, NotificationsBubbleUpToTheFirstMatchingCallbacksAndAreReleasedOnce) {
  g_notificationsDestroyed = 0;
  const long liveBefore = QORLiveAllocations();
  std::vector<std::string> log;
  {
    Recording root(nullptr, "root", &log);
    Recording middle(&root, "middle", &log);
    Recording a(&middle, "a", &log);
    Recording b(&middle, "b", &log);
    static char tag[] = "tag";
    root.AddAnalyseNotificationCB(nullptr, "PanelNotif", kTake, nullptr);
    middle.AddAnalyseNotificationCB(&a, "PanelNotif", kTake, tag);  // a's only
    middle.AddAnalyseNotificationCB(&a, "PanelNotif", kTake, nullptr);
    a.AddAnalyseNotificationCB(nullptr, "OtherNotif", kTake, nullptr);
    const int removed = b.AddAnalyseNotificationCB(nullptr, "QORNotification", kTake, nullptr);
    EXPECT_NE(removed, 0);
    EXPECT_EQ(b.AddAnalyseNotificationCB(nullptr, nullptr, kTake, nullptr), 0);
    b.RemoveAnalyseNotificationCB(removed);
    Recording any(nullptr, "any", &log);
    any.AddAnalyseNotificationCB(nullptr, "QORNotification", kTake, nullptr);

    // Each step and what it adds to the log, delivered before SendNotification returns.
    const std::vector<std::pair<std::function<void()>, std::vector<std::string>>> steps = {
        {[&] { a.SendNotification(&a, new PanelNotif()); },
         {"middle took PanelNotif from a with tag", "middle took PanelNotif from a"}},
        {[&] { b.SendNotification(&b, new PanelNotif()); }, {"root took PanelNotif from b"}},
        {[&] { b.SendNotification(&b, new PanelClosedNotif()); },
         {"root took PanelClosedNotif from b"}},
        {[&] { b.SendNotification(&b, new OtherNotif()); }, {}},  // dropped at the root
        {[&] { a.SendNotification(&a, new OtherNotif()); }, {"a took OtherNotif from a"}},
        {[&] { any.SendNotification(&any, new OtherNotif()); }, {"any took OtherNotif from any"}},
        {[&] { a.SendNotification(nullptr, new PanelNotif()); }, {}},  // no receiver at all
        {[&] { a.SendNotification(&a, nullptr); }, {}},
    };
    int sent = 0;
    for (const auto& [send, adds] : steps) {
      log.clear();
      send();
      EXPECT_EQ(log, adds) << "step " << sent;
      EXPECT_EQ(g_notificationsDestroyed, std::min(++sent, 7)) << "step " << sent;
    }
    // A command leaves its father when it goes.
    auto* child = new Recording(&root, "child", &log);
    EXPECT_EQ(root.GetChildren().size(), 2u);
    child->Release();
    EXPECT_EQ(root.GetChildren(), std::vector<QORCommand*>{&middle});
  }
  EXPECT_EQ(QORLiveAllocations(), liveBefore);
}

}  // namespace
