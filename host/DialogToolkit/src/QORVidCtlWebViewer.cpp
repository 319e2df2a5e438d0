// QORVidCtlWebViewer.cpp - the web viewer: the scripts it queues for its page, and the
// arguments of the page's messages.
#include "DialogToolkit/QORVidCtlWebViewer.h"

#include "DialogToolkit/QORDialogToolkit.h"
#include "DialogToolkit/QORVidFraWindow.h"
#include "DialogToolkit/QORVidJSMessageEventArgs.h"
#include "DialogToolkit/src/QORDialogToolkitMeta.h"
#include "DialogToolkit/src/QORWebScriptText.h"
#include "DialogToolkit/src/QORWebWindowSession.h"
#include "EventToolkit/QORCheck.h"
#include "EventToolkit/QOREventLoop.h"
#include "EventToolkit/QORSYPEventArgs.h"

QOR_META_PROTOCOL(QORVidCtlWebViewer, QORVidWidget::MetaObject())
QOR_ARGS_META_OBJECT(QORVidJSMessageEventArgs)

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
