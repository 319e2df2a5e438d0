// The host's plumbing under the dialogs: widgets raising events to handler objects, and
// the command tree that carries notifications. (The event loop is what every web test
// turns.)

#include "CommandFramework/QORCommand.h"
#include "DialogToolkit/DialogTestSupport.h"
#include "EventToolkit/QORCheck.h"

namespace {

// Widgets raising events to handler objects: who gets called, with what, and what
// happens once a target or the widget itself is on its way out.
// A widget that is also a handler target; it notes each call.
std::vector<std::string> g_heard;
class Panel : public QORVidWidget {
 public:
  explicit Panel(const char* name) : QORVidWidget(nullptr, name) {}
  void OnClosed(QORBaseUnknown* sender, QORSYPEventArgs*) {
    g_heard.push_back(GetName() + " closed by " + static_cast<QORCommand*>(sender)->GetName());
  }
  // Asks for the sender's destruction, which must wait for a later turn of the loop.
  void OnClosedAndGo(QORBaseUnknown* sender, QORSYPEventArgs* args) {
    static_cast<QORVidWidget*>(sender)->RequestDelayedDestruction();
    OnClosed(sender, args);
  }
  void OnButton(QORBaseUnknown*, QORVidFraDialogButtonClickedEventArgs* args) {
    g_heard.push_back(GetName() + " button " + std::to_string(args->GetStandardButton()));
  }
};

void Raise(QORVidWidget* widget, QOREvent* event, QOREventArgs* args) {
  widget->RaiseEvent(event, args);
  args->Release();
}

TEST(EventHandlers, HandlersRunInOrderUntilTheirTargetOrTheWidgetGoes) {
  std::vector<std::string> reports;
  QORCheckSink previous =
      QORSetCheckSink([&](const QORCheckReport& r) { reports.push_back(r.expression); });
  const long before = QORLiveAllocations();
  auto* dialog = new QORVidFraDialog(nullptr, "dialog");
  auto* a = new Panel("a");
  auto* b = new Panel("b");
  Subscribe(dialog, QORVidFraWindow::Closed(), a, &Panel::OnClosed);
  Subscribe(dialog, QORVidFraDialog::AcceptButtonClicked(), a, &Panel::OnButton);
  Subscribe(dialog, QORVidFraWindow::Closed(), b, &Panel::OnClosed);
  dialog->AddHandler(QORVidFraWindow::Closed(), nullptr, 0);  // refused
  Raise(dialog, QORVidFraWindow::Closed(), new QORSYPEventArgs());
  Raise(dialog, QORVidFraDialog::AcceptButtonClicked(),
        new QORVidFraDialogButtonClickedEventArgs(4));
  // Arguments of the wrong class are reported, and the handler is not called.
  Raise(dialog, QORVidFraDialog::AcceptButtonClicked(), new QORSYPEventArgs());
  EXPECT_EQ(reports, std::vector<std::string>{"pArgs"});
  // A target asked to go is still called until it is gone.
  b->RequestDelayedDestruction();
  Raise(dialog, QORVidFraWindow::Closed(), new QORSYPEventArgs());
  QOREventLoop::Host().RunPending();
  Raise(dialog, QORVidFraWindow::Closed(), new QORSYPEventArgs());
  EXPECT_EQ(g_heard, (std::vector<std::string>{"a closed by dialog", "b closed by dialog",
                                               "a button 4", "a closed by dialog",
                                               "b closed by dialog", "a closed by dialog"}));

  // A widget asked to go raises nothing more, not even to the handlers after this one.
  g_heard.clear();
  dialog->RemoveHandlers(QORVidFraWindow::Closed());
  auto* c = new Panel("c");
  Subscribe(dialog, QORVidFraWindow::Closed(), c, &Panel::OnClosedAndGo);
  Subscribe(dialog, QORVidFraWindow::Closed(), a, &Panel::OnClosed);
  QORWeakRef watch(dialog);
  Raise(dialog, QORVidFraWindow::Closed(), new QORSYPEventArgs());
  Raise(dialog, QORVidFraWindow::Closed(), new QORSYPEventArgs());
  EXPECT_EQ(g_heard, std::vector<std::string>{"c closed by dialog"});
  dialog->RequestDelayedDestruction();  // asking twice destroys once
  EXPECT_TRUE(watch.IsAlive());
  QOREventLoop::Host().RunPending();
  EXPECT_FALSE(watch.IsAlive());
  a->Release();
  c->Release();
  EXPECT_EQ(QORLiveAllocations(), before);  // the handlers went with the widget
  QORSetCheckSink(previous);
}

// The command tree: how a notification travels from its sender to the callbacks that
// take it, and that the tree releases it exactly once whatever happens to it.
int g_notificationsDestroyed = 0;

// A notification class of the test's own, named kName, derived from Parent.
template <const char* kName, class Parent>
class TestNotif : public Parent {
 public:
  ~TestNotif() override { g_notificationsDestroyed += std::is_same_v<Parent, QORNotification>; }
  static const QORMetaClass* MetaObject() {
    static std::atomic<const QORMetaClass*> slot{nullptr};
    return zqy::internal::LazyComponentMetaObject(slot, kName, &Parent::MetaObject,
                                                  "DialogToolkitTests", sizeof(TestNotif));
  }
  const QORMetaClass* GetMetaObject() const override { return MetaObject(); }
  const char* IsA() const override { return MetaObject()->GetName(); }
  int IsAKindOf(const char* name) const override { return MetaObject()->IsAKindOf(name); }
};
constexpr char kPanel[] = "PanelNotif", kPanelClosed[] = "PanelClosedNotif",
               kOther[] = "OtherNotif";
using PanelNotif = TestNotif<kPanel, QORNotification>;
using PanelClosedNotif = TestNotif<kPanelClosed, PanelNotif>;
using OtherNotif = TestNotif<kOther, QORNotification>;

// A command that writes down the notifications its callbacks take.
std::vector<std::string> g_taken;
class Recording : public QORCommand {
 public:
  using QORCommand::QORCommand;
  void Take(QORCommand* sender, QORNotification* notification, void* data) {
    g_taken.push_back(GetName() + " took " + notification->IsA() + " from " + sender->GetName() +
                      (data ? " with " + std::string(static_cast<const char*>(data)) : ""));
  }
};

const QORCommandMethod kTake = static_cast<QORCommandMethod>(&Recording::Take);

TEST(CommandTree, NotificationsBubbleUpToTheFirstMatchingCallbacksAndAreReleasedOnce) {
  g_notificationsDestroyed = 0;
  const long liveBefore = QORLiveAllocations();
  {
    Recording root(nullptr, "root");
    Recording middle(&root, "middle");
    Recording a(&middle, "a");
    Recording b(&middle, "b");
    static char tag[] = "tag";
    root.AddAnalyseNotificationCB(nullptr, "PanelNotif", kTake, nullptr);
    middle.AddAnalyseNotificationCB(&a, "PanelNotif", kTake, tag);  // a's only
    middle.AddAnalyseNotificationCB(&a, "PanelNotif", kTake, nullptr);
    a.AddAnalyseNotificationCB(nullptr, "OtherNotif", kTake, nullptr);
    const int removed = b.AddAnalyseNotificationCB(nullptr, "QORNotification", kTake, nullptr);
    EXPECT_NE(removed, 0);
    EXPECT_EQ(b.AddAnalyseNotificationCB(nullptr, nullptr, kTake, nullptr), 0);
    b.RemoveAnalyseNotificationCB(removed);
    Recording any(nullptr, "any");
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
      g_taken.clear();
      send();
      EXPECT_EQ(g_taken, adds) << "step " << sent;
      EXPECT_EQ(g_notificationsDestroyed, std::min(++sent, 7)) << "step " << sent;
    }
  }
  EXPECT_EQ(QORLiveAllocations(), liveBefore);
}

}  // namespace
