// Widgets raising events to handler objects: who gets called, with what, and what
// happens once a target or the widget itself is on its way out.
#include <gtest/gtest.h>

#include "DialogToolkit/DialogTestSupport.h"
#include "EventToolkit/QORCheck.h"

namespace {

// A widget that is also a handler target; it notes each call.
class Panel : public QORVidWidget {
 public:
  Panel(const char* name, std::vector<std::string>* log) : QORVidWidget(nullptr, name), _log(log) {}
  void OnClosed(QORBaseUnknown* sender, QORSYPEventArgs*) {
    _log->push_back(GetName() + " closed by " + static_cast<QORCommand*>(sender)->GetName());
  }
  // Asks for the sender's destruction, which must wait for a later turn of the loop.
  void OnClosedAndGo(QORBaseUnknown* sender, QORSYPEventArgs* args) {
    static_cast<QORVidWidget*>(sender)->RequestDelayedDestruction();
    OnClosed(sender, args);
  }
  void OnButton(QORBaseUnknown*, QORVidFraDialogButtonClickedEventArgs* args) {
    _log->push_back(GetName() + " button " + std::to_string(args->GetStandardButton()));
  }

 private:
  std::vector<std::string>* _log;
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
  std::vector<std::string> log;
  auto* dialog = new QORVidFraDialog(nullptr, "dialog");
  auto* a = new Panel("a", &log);
  auto* b = new Panel("b", &log);
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
  EXPECT_EQ(log, (std::vector<std::string>{"a closed by dialog", "b closed by dialog", "a button 4",
                                           "a closed by dialog", "b closed by dialog",
                                           "a closed by dialog"}));

  // A widget asked to go raises nothing more, not even to the handlers after this one.
  log.clear();
  dialog->RemoveHandlers(QORVidFraWindow::Closed());
  auto* c = new Panel("c", &log);
  Subscribe(dialog, QORVidFraWindow::Closed(), c, &Panel::OnClosedAndGo);
  Subscribe(dialog, QORVidFraWindow::Closed(), a, &Panel::OnClosed);
  QORWeakRef watch(dialog);
  Raise(dialog, QORVidFraWindow::Closed(), new QORSYPEventArgs());
  Raise(dialog, QORVidFraWindow::Closed(), new QORSYPEventArgs());
  EXPECT_EQ(log, std::vector<std::string>{"c closed by dialog"});
  dialog->RequestDelayedDestruction();  // asking twice destroys once
  EXPECT_TRUE(watch.IsAlive());
  QOREventLoop::Host().RunPending();
  EXPECT_FALSE(watch.IsAlive());
  a->Release();
  c->Release();
  EXPECT_EQ(QORLiveAllocations(), before);  // the handlers went with the widget
  QORSetCheckSink(previous);
}

}  // namespace
