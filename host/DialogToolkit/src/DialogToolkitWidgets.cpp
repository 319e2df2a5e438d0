// DialogToolkitWidgets.cpp - widgets, windows, dialogs and the web viewer: handler
// lists, events, delayed destruction and what they tell their page session.
#include <strings.h>

#include <atomic>

#include "DialogToolkit/QORDialogToolkit.h"
#include "DialogToolkit/QORVidCtlWebViewer.h"
#include "DialogToolkit/QORVidFraDialog.h"
#include "DialogToolkit/QORVidFraDialogButtonClickedEventArgs.h"
#include "DialogToolkit/QORVidJSMessageEventArgs.h"
#include "DialogToolkit/src/QORWebScriptText.h"
#include "DialogToolkit/src/QORWebWindowSession.h"
#include "EventToolkit/QORCheck.h"
#include "EventToolkit/QOREventLoop.h"
#include "EventToolkit/QORSYPEventArgs.h"

namespace {

const QORMetaClass* LazyMeta(std::atomic<const QORMetaClass*>& slot, const char* name,
                             const QORMetaClass* parent, size_t size) {
  return zqy::internal::LazyMetaObject(slot, [&] {
    return zqy::internal::fct_RetrieveMetaObject(name, QORMetaClass::kComponent, parent, "QORNull",
                                                 "DialogToolkit", size);
  });
}

std::atomic<const QORMetaClass*> s_widgetMeta{nullptr}, s_windowMeta{nullptr},
    s_dialogMeta{nullptr}, s_viewerMeta{nullptr}, s_buttonArgsMeta{nullptr},
    s_messageArgsMeta{nullptr};

}  // namespace

#define QOR_META_PROTOCOL(Class, slot, ParentMeta)            \
  const QORMetaClass* Class::MetaObject() {                   \
    return LazyMeta(slot, #Class, ParentMeta, sizeof(Class)); \
  }                                                           \
  const QORMetaClass* Class::GetMetaObject() const {          \
    return MetaObject();                                      \
  }                                                           \
  const char* Class::IsA() const {                            \
    return MetaObject()->GetName();                           \
  }                                                           \
  int Class::IsAKindOf(const char* className) const {         \
    return MetaObject()->IsAKindOf(className);                \
  }

QOR_META_PROTOCOL(QORVidWidget, s_widgetMeta, QORCommand::MetaObject())
QOR_META_PROTOCOL(QORVidFraWindow, s_windowMeta, QORVidWidget::MetaObject())
QOR_META_PROTOCOL(QORVidFraDialog, s_dialogMeta, QORVidFraWindow::MetaObject())
QOR_META_PROTOCOL(QORVidCtlWebViewer, s_viewerMeta, QORVidWidget::MetaObject())

const QORMetaClass* QORVidFraDialogButtonClickedEventArgs::MetaObject() {
  return LazyMeta(s_buttonArgsMeta, "QORVidFraDialogButtonClickedEventArgs",
                  QOREventArgs::MetaObject(), sizeof(QORVidFraDialogButtonClickedEventArgs));
}
const QORMetaClass* QORVidJSMessageEventArgs::MetaObject() {
  return LazyMeta(s_messageArgsMeta, "QORVidJSMessageEventArgs", QOREventArgs::MetaObject(),
                  sizeof(QORVidJSMessageEventArgs));
}

// --- QORVidWidget

QORVidWidget::QORVidWidget(QORCommand* father, const char* name) : QORCommand(father, name) {}

QORVidWidget::~QORVidWidget() {
  for (Subscription& s : _subscriptions) s.handler->Release();
}

void QORVidWidget::AddHandler(QOREvent* event, QOREventHandler* handler, int flag) {
  if (!event || !handler) return;
  handler->AddRef();
  _subscriptions.push_back(Subscription{event, handler, flag});
}

void QORVidWidget::RemoveHandlers(QOREvent* event) {
  std::erase_if(_subscriptions, [event](Subscription& s) {
    if (s.event != event) return false;
    s.handler->Release();
    return true;
  });
}

void QORVidWidget::RequestDelayedDestruction() {
  if (_destructionRequested) return;
  _destructionRequested = true;
  QOREventLoop::Host().Post([this] { Release(); });
}

void QORVidWidget::RaiseEvent(QOREvent* event, QOREventArgs* args) {
  if (!event || _destructionRequested) return;
  // Keep the widget and the handlers alive while they run: a handler may ask for the
  // widget's destruction or add handlers.
  AddRef();
  std::vector<Subscription> now = _subscriptions;
  for (Subscription& s : now) s.handler->AddRef();
  for (Subscription& s : now) {
    if (s.event == event && !_destructionRequested) s.handler->Handle(this, args);
  }
  for (Subscription& s : now) s.handler->Release();
  Release();
}

// --- QORVidFraWindow

QORVidFraWindow::QORVidFraWindow(QORCommand* father, const char* name)
    : QORVidWidget(father, name) {}

QORVidFraWindow::~QORVidFraWindow() {
  if (_pSession) {
    _pSession->Close();
    delete _pSession;
    _pSession = nullptr;
  }
}

QOREvent* QORVidFraWindow::Closed() {
  static QOREvent* event = new QOREvent("Closed");
  return event;
}

void QORVidFraWindow::SetTitle(const QORUnicodeString& title) {
  _title = title;
  if (_pSession) _pSession->Update();
}

void QORVidFraWindow::SetCloseButtonFlag(int flag) {
  _closeButton = flag;
  if (_pSession) _pSession->Update();
}

void QORVidFraWindow::SetApplicativeWidget(QORVidWidget* widget) {
  _pApplicative = widget;
  if (_pSession) _pSession->Update();
}

void QORVidFraWindow::SetVisibleFlag(int visible) {
  _visible = visible ? 1 : 0;
  if (_visible && !_pSession && QORDialogToolkit::GetBackend() == QORDialogToolkit::Backend::Web)
    _pSession = QORWebWindowSession::Open(this);
  if (_pSession) _pSession->Update();
}

void QORVidFraWindow::EnsureVisible() {
  if (!_visible) SetVisibleFlag(1);
}

std::string QORVidFraWindow::GetAddress() const {
  return _pSession ? _pSession->Address() : "";
}

// --- QORVidFraDialog

QORVidFraDialog::QORVidFraDialog(QORCommand* father, const char* name)
    : QORVidFraWindow(father, name) {}
QORVidFraDialog::~QORVidFraDialog() = default;

QOREvent* QORVidFraDialog::AcceptButtonClicked() {
  static QOREvent* event = new QOREvent("AcceptButtonClicked");
  return event;
}
QOREvent* QORVidFraDialog::RejectButtonClicked() {
  static QOREvent* event = new QOREvent("RejectButtonClicked");
  return event;
}

void QORVidFraDialog::SetStandardButtons(int buttons) {
  _buttons = buttons;
  if (_pSession) _pSession->Update();
}

void QORVidFraDialog::ClickStandardButton(int button) {
  if (!(_buttons & button)) return;  // a button the dialog does not show
  _lastButton = button;
  QORVidFraDialogButtonClickedEventArgs* args = new QORVidFraDialogButtonClickedEventArgs(button);
  if (!args) return;
  RaiseEvent(button == kCancel ? RejectButtonClicked() : AcceptButtonClicked(), args);
  args->Release();
}

void QORVidFraDialog::StandardButtonClicked(const QORString& buttonName) {
  static const struct {
    const char* name;
    int value;
  } kNames[] = {{"OK", kOK}, {"Apply", kApply}, {"Save", kSave}, {"Cancel", kCancel}};
  for (const auto& entry : kNames) {
    if (strcasecmp(entry.name, buttonName.CastToCharPtr()) == 0) {
      ClickStandardButton(entry.value);
      return;
    }
  }
}

// --- QORVidCtlWebViewer

QORVidCtlWebViewer::QORVidCtlWebViewer(QORCommand* father, const char* name,
                                       const QORUnicodeString&)
    : QORVidWidget(father, name) {}
QORVidCtlWebViewer::~QORVidCtlWebViewer() = default;

std::string QORVidCtlWebViewer::Script::Joined() const {
  if (!text) return *code;
  std::string whole;
  whole.reserve(code->size() + text->size() + after.size() + 2);
  whole.append(*code).append(1, '\'');
  QORAppendScriptLiteral(*text, whole);
  whole.append(1, '\'').append(after);
  return whole;
}

std::vector<std::string> QORVidCtlWebViewer::GetScripts() const {
  std::vector<std::string> copies;
  copies.reserve(_scripts.size());
  for (const Script& script : _scripts) copies.push_back(script.Joined());
  return copies;
}

QOREvent* QORVidCtlWebViewer::LoadStart() {
  static QOREvent* event = new QOREvent("LoadStart");
  return event;
}
QOREvent* QORVidCtlWebViewer::JSMessage() {
  static QOREvent* event = new QOREvent("JSMessage");
  return event;
}

HRESULT QORVidCtlWebViewer::Build() {
  _built = true;
  return S_OK;
}

void QORVidCtlWebViewer::RunJavaScript(const QORUnicodeString& script, const char* origin,
                                       int line) {
  RunJavaScript(QORUnicodeString(script), origin, line);
}

void QORVidCtlWebViewer::RunJavaScript(QORUnicodeString&& script, const char*, int) {
  Queue(Script{std::make_shared<const std::string>(std::move(script.Str())), nullptr, {}});
}

void QORVidCtlWebViewer::RunJavaScriptWithText(std::string before,
                                               std::shared_ptr<const std::string> text,
                                               std::string after, const char*, int) {
  if (!text) text = std::make_shared<const std::string>();
  Queue(Script{std::make_shared<const std::string>(std::move(before)), std::move(text),
               std::move(after)});
}

void QORVidCtlWebViewer::Queue(Script script) {
  _scripts.push_back(std::move(script));
  auto* window = dynamic_cast<QORVidFraWindow*>(GetFather());
  if (window && window->GetSession() && window->GetApplicativeWidget() == this)
    window->GetSession()->ScriptAdded();
}
