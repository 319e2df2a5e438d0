// Widgets raising events to handler objects: who gets called, with what, and what
// happens once a target or the widget itself is on its way out.
#include <gtest/gtest.h>

#include "DialogToolkit/DialogTestSupport.h"
#include "DialogToolkit/QORVidFraDialog.h"
#include "EventToolkit/QORCheck.h"
#include "EventToolkit/QOREventHandler.h"

namespace {

// A widget that is also a handler target: it notes each call, and can ask for its
// own destruction from inside a handler.
class Panel : public QORVidWidget {
 public:
  Panel(QORCommand* father, const char* name, std::vector<std::string>* log)
      : QORVidWidget(father, name), _log(log) {}
  void OnClosed(QORBaseUnknown* sender, QORSYPEventArgs*) {
    _log->push_back(GetName() + " closed by " + static_cast<QORCommand*>(sender)->GetName());
  }
  // Asks for the sender's destruction, which must wait for a later turn of the loop.
  void OnClosedAndGo(QORBaseUnknown* sender, QORSYPEventArgs* args) {
    QORWeakRef watch(sender);
    static_cast<QORVidWidget*>(sender)->RequestDelayedDestruction();
    if (watch.IsAlive()) OnClosed(sender, args);
  }
  void OnButton(QORBaseUnknown*, QORVidFraDialogButtonClickedEventArgs* args) {
    _log->push_back(GetName() + " button " + std::to_string(args->GetStandardButton()));
  }

 private:
  std::vector<std::string>* _log;
};

class EventHandlers : public ::testing::Test {
 protected:
  void SetUp() override {
    previousSink =
        QORSetCheckSink([this](const QORCheckReport& r) { reports.push_back(r.expression); });
  }
  void TearDown() override {
    QORSetCheckSink(previousSink);
    QOREventLoop::Host().RunPending();
  }

  template <class Args>
  static void Subscribe(QORVidWidget* widget, QOREvent* event, Panel* target,
                        void (Panel::*method)(QORBaseUnknown*, Args*)) {
    auto* handler = new QORMethodEventHandler<Panel, Args>(target, method);
    widget->AddHandler(event, handler, 0);
    handler->Release();
  }

  static void Raise(QORVidWidget* widget, QOREvent* event, QOREventArgs* args) {
    widget->RaiseEvent(event, args);
    args->Release();
  }

  std::vector<std::string> log;
  std::vector<std::string> reports;
  QORCheckSink previousSink;
};

TEST_F(EventHandlers, HandlersOfTheRaisedEventRunInTheOrderAddedWithTheSenderAndArguments) {
  auto* dialog = new QORVidFraDialog(nullptr, "dialog");
  auto* a = new Panel(nullptr, "a", &log);
  auto* b = new Panel(nullptr, "b", &log);
  Subscribe(dialog, QORVidFraWindow::Closed(), a, &Panel::OnClosed);
  Subscribe(dialog, QORVidFraDialog::AcceptButtonClicked(), a, &Panel::OnButton);
  Subscribe(dialog, QORVidFraWindow::Closed(), b, &Panel::OnClosed);
  Raise(dialog, QORVidFraWindow::Closed(), new QORSYPEventArgs());
  Raise(dialog, QORVidFraDialog::AcceptButtonClicked(),
        new QORVidFraDialogButtonClickedEventArgs(4));
  EXPECT_EQ(log,
            (std::vector<std::string>{"a closed by dialog", "b closed by dialog", "a button 4"}));

  dialog->RemoveHandlers(QORVidFraWindow::Closed());
  log.clear();
  Raise(dialog, QORVidFraWindow::Closed(), new QORSYPEventArgs());
  EXPECT_TRUE(log.empty());
  dialog->Release();
  a->Release();
  b->Release();
}

TEST_F(EventHandlers, AnEventForATargetDestroyedByDelayedDestructionIsDropped) {
  auto* dialog = new QORVidFraDialog(nullptr, "dialog");
  auto* target = new Panel(nullptr, "target", &log);
  Subscribe(dialog, QORVidFraWindow::Closed(), target, &Panel::OnClosed);
  target->RequestDelayedDestruction();
  Raise(dialog, QORVidFraWindow::Closed(), new QORSYPEventArgs());
  EXPECT_EQ(log.size(), 1u);  // asked to go, but not gone yet: still called

  QOREventLoop::Host().RunPending();  // now it is gone
  Raise(dialog, QORVidFraWindow::Closed(), new QORSYPEventArgs());
  EXPECT_EQ(log.size(), 1u);
  EXPECT_TRUE(reports.empty());
  dialog->Release();
}

TEST_F(EventHandlers, ArgumentsOfTheWrongClassAreReportedToTheCheckSinkAsPArgs) {
  auto* dialog = new QORVidFraDialog(nullptr, "dialog");
  auto* target = new Panel(nullptr, "target", &log);
  Subscribe(dialog, QORVidFraDialog::AcceptButtonClicked(), target, &Panel::OnButton);
  Raise(dialog, QORVidFraDialog::AcceptButtonClicked(), new QORSYPEventArgs());
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(reports, std::vector<std::string>{"pArgs"});
  dialog->Release();
  target->Release();
}

TEST_F(EventHandlers, AWidgetAskedForDestructionRaisesNothingMoreNotEvenToLaterHandlers) {
  auto* dialog = new QORVidFraDialog(nullptr, "dialog");
  auto* first = new Panel(nullptr, "first", &log);
  auto* second = new Panel(nullptr, "second", &log);
  QORWeakRef watch(dialog);
  Subscribe(dialog, QORVidFraWindow::Closed(), first, &Panel::OnClosedAndGo);
  Subscribe(dialog, QORVidFraWindow::Closed(), second, &Panel::OnClosed);
  Raise(dialog, QORVidFraWindow::Closed(), new QORSYPEventArgs());
  EXPECT_EQ(log, std::vector<std::string>{"first closed by dialog"});
  EXPECT_TRUE(dialog->IsDestructionRequested());
  Raise(dialog, QORVidFraWindow::Closed(), new QORSYPEventArgs());
  EXPECT_EQ(log.size(), 1u);
  EXPECT_TRUE(watch.IsAlive());
  dialog->RequestDelayedDestruction();  // asking twice destroys once
  QOREventLoop::Host().RunPending();
  EXPECT_FALSE(watch.IsAlive());
  first->Release();
  second->Release();
}

TEST_F(EventHandlers, AWidgetKeepsOneReferenceOnEachHandlerAndDropsItWhenItGoes) {
  const long before = QORLiveAllocations();
  auto* dialog = new QORVidFraDialog(nullptr, "dialog");
  auto* target = new Panel(nullptr, "target", &log);
  auto* handler = new QORMethodEventHandler<Panel, QORSYPEventArgs>(target, &Panel::OnClosed);
  dialog->AddHandler(QORVidFraWindow::Closed(), handler, 0);
  EXPECT_EQ(handler->GetRefCount(), 2);
  dialog->AddHandler(nullptr, handler, 0);  // refused: no reference taken
  dialog->AddHandler(QORVidFraWindow::Closed(), nullptr, 0);
  EXPECT_EQ(handler->GetRefCount(), 2);
  handler->Release();
  dialog->RequestDelayedDestruction();
  QOREventLoop::Host().RunPending();
  target->Release();
  EXPECT_EQ(QORLiveAllocations(), before);
}

}  // namespace
