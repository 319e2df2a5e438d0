// DXWebViewer.cpp - the filter dialog's set-up, handlers and notifications. The code
// reads in the order the dialog runs: InitAndShow, the page loading, the page's
// messages, the buttons, then the replays of test mode.
#include "DXWebViewer.h"

#include <atomic>
#include <filesystem>

#include "DXInputFilterWebViewer.h"
#include "DXLazyMetaObject.h"
#include "DXModuleSwitches.h"
#include "DataExchangeUtilities/QORDXUnicodeString.h"
#include "EventToolkit/QORCheck.h"
#include "EventToolkit/QORDynamicCast.h"
#include "EventToolkit/QOREventHandler.h"
#include "ObjectModelRuntime/QORGetEnv.h"
#include "ObjectModelRuntime/QORMsgCatalog.h"
#include "QORInputFilterDumpModelNotif.h"
#include "QORInputFilterInteractionRecordNotif.h"
#include "QORInputFilterNotifWithString.h"
#include "QORInputFilterPanelClosedNotif.h"
#include "QORInputFilterPanelLoadedNotif.h"
#include "QORJsonFilterWriter.h"
#include "fctCreateDXWebViewer.h"

namespace {

std::atomic<const QORMetaClass*> s_pMetaObject{nullptr};

constexpr int kOkButton = 2;
constexpr int kSaveButton = 8;
constexpr int kCancelButton = 16;

// What a JSON parser reading a text in place needs beyond its end.
constexpr size_t kParserPadding = 64;

const char kFilterPage[] = "zqrtv://webapps/DXInputFilterDisplay/FilterJS.html";
const char kRequireFilter[] = "require(['ZQ/DXInputFilterDisplay/Filter'], function(Filter) { ";
const char kTestModeRequire[] =
    "            require(['ZQ/SelectiveWebUI_TST/InputFilteringSimulateScenario'], "
    "function(simulationServices) {                 "
    "Filter.registerInteractions(simulationServices);";

// The document inside the init script's single-quoted string is what
// QORDXUnicodeString::EscapeJSON makes of it, with each "'" then written "\'". Done here
// in one pass into a buffer sized first, because the document can run to hundreds of
// megabytes and every intermediate copy of it costs the user a wait.
// DialogEscapingTest holds this to EscapeJSON and ReplaceAll byte for byte.
struct Escapes {
  unsigned char special[256] = {};
  constexpr Escapes() {
    for (int c = 0; c < 0x20; ++c) special[c] = 1;
    special[static_cast<unsigned char>('"')] = 1;
    special[static_cast<unsigned char>('\\')] = 1;
    special[static_cast<unsigned char>('\'')] = 1;
    special[static_cast<unsigned char>('<')] = 1;
    special[0xE2] = 1;  // may start U+2028 or U+2029
  }
};
constexpr Escapes kEscapes;

// Calls plain(begin, length) for each run of bytes taken as they are and escape(text)
// for each escaped byte or sequence, in order.
template <class Plain, class Escape>
void WalkEscaped(std::string_view text, Plain plain, Escape escape) {
  static const char kHex[] = "0123456789abcdef";
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    size_t run = i;
    while (run < n && !kEscapes.special[static_cast<unsigned char>(text[run])]) ++run;
    if (run > i) plain(text.data() + i, run - i);
    i = run;
    if (i >= n) break;
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '"':
        escape(std::string_view("\\\""));
        break;
      case '\\':
        escape(std::string_view("\\\\"));
        break;
      case '\'':
        escape(std::string_view("\\'"));
        break;
      case '\n':
        escape(std::string_view("\\n"));
        break;
      case '\r':
        escape(std::string_view("\\r"));
        break;
      case '\t':
        escape(std::string_view("\\t"));
        break;
      case '\b':
        escape(std::string_view("\\b"));
        break;
      case '\f':
        escape(std::string_view("\\f"));
        break;
      case '<':
        if (i + 1 < n && (text[i + 1] == '/' || text[i + 1] == '!'))
          escape(std::string_view("\\u003c"));
        else
          plain(text.data() + i, 1);
        break;
      case 0xE2:
        if (i + 2 < n && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
            (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
             static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
          const bool line = static_cast<unsigned char>(text[i + 2]) == 0xA8;
          escape(std::string_view(line ? "\\u2028" : "\\u2029"));
          i += 2;
        } else {
          plain(text.data() + i, 1);
        }
        break;
      default: {
        const char code[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
        escape(std::string_view(code, sizeof(code)));
      }
    }
    ++i;
  }
}

// Appends text as it stands in the init script's single-quoted string.
void AppendQuotedForScript(std::string_view text, std::string& out) {
  size_t length = 0;
  WalkEscaped(
      text, [&](const char*, size_t count) { length += count; },
      [&](std::string_view escaped) { length += escaped.size(); });
  out.reserve(out.size() + length);
  WalkEscaped(
      text, [&](const char* begin, size_t count) { out.append(begin, count); },
      [&](std::string_view escaped) { out.append(escaped); });
}

}  // namespace

const QORMetaClass* DXWebViewer::MetaObject() {
  return DXLazyMetaObject(s_pMetaObject,
                          [] { return DX_CLASS_META(DXWebViewer, QORVidFraDialog::MetaObject()); });
}
const QORMetaClass* DXWebViewer::GetMetaObject() const {
  return MetaObject();
}
const char* DXWebViewer::IsA() const {
  return MetaObject()->GetName();
}
int DXWebViewer::IsAKindOf(const char* className) const {
  return MetaObject()->IsAKindOf(className);
}

DXWebViewer::DXWebViewer(QORCommand* father) : QORVidFraDialog(father, "DXInputFilterWebViewer") {}

DXWebViewer::~DXWebViewer() {
  if (_pWebViewer) _pWebViewer->RequestDelayedDestruction();
  _pWebViewer = nullptr;
  _pOwner = nullptr;
}

void* fctCreateDXWebViewer(void*) {
  return new DXWebViewer(nullptr);
}

void DXWebViewer::Subscribe(QORVidWidget* widget, QOREvent* i_pEvent, QOREventHandler* handler,
                            int flag) {
  if (!handler) return;
  if (i_pEvent) {
    widget->AddHandler(i_pEvent, handler, flag);
  } else {
    QORReportCheck("i_pEvent", __FILE__, __LINE__);
  }
  handler->Release();
}

HRESULT DXWebViewer::InitAndShow(QORUnicodeString jsonText, QORJsonFilterWriter* owner) {
  _pOwner = owner;
  if (_pOwner) _sourcePath = _pOwner->GetSourcePath();

  SetTitle(QORMsgCatalog::BuildMessage("DataExchangeInputFiltering", "FilteringUI_Title", {},
                                       QORUnicodeString()));
  SetCloseButtonFlag(1);
  SetResizableFlag(1);
  SetCompactFlag(0);
  SetMinimizeButtonFlag(0);
  SetStandardButtons(dx::g_testModeSwitch ? 0x1A : 0x12);

  Subscribe(
      this, QORVidFraWindow::Closed(),
      new QORMethodEventHandler<DXWebViewer, QORSYPEventArgs>(this, &DXWebViewer::OnWindowClosed),
      0);
  Subscribe(this, QORVidFraDialog::AcceptButtonClicked(),
            new QORMethodEventHandler<DXWebViewer, QORVidFraDialogButtonClickedEventArgs>(
                this, &DXWebViewer::OnStandardButtonClicked),
            0);
  Subscribe(this, QORVidFraDialog::RejectButtonClicked(),
            new QORMethodEventHandler<DXWebViewer, QORVidFraDialogButtonClickedEventArgs>(
                this, &DXWebViewer::OnStandardButtonClicked),
            0);

  if (dx::g_testModeSwitch) {
    AddAnalyseNotificationCB(nullptr, "QORInputFilterButtonInteractionReplayNotif",
                             static_cast<QORCommandMethod>(&DXWebViewer::OnButtonReplayNotif),
                             nullptr);
    AddAnalyseNotificationCB(nullptr, "QORInputFilterJSInteractionReplayNotif",
                             static_cast<QORCommandMethod>(&DXWebViewer::OnJSReplayNotif), nullptr);
  }

  _pWebViewer = new DXInputFilterWebViewer(this);
  if (!_pWebViewer) return E_FAIL;

  _pWebViewer->SetHomeURL(kFilterPage);
  _pWebViewer->SetPopupWindowsFlag(0);
  _pWebViewer->SetAutoLoadFlag(1);
  _pWebViewer->SetUseJavaScriptFlag(1);
  _pWebViewer->SetUseContextMenuFlag(0);
  _pWebViewer->Build();

  SetApplicativeWidget(_pWebViewer);
  SetVisibleFlag(1);
  EnsureVisible();

  Subscribe(
      _pWebViewer, QORVidCtlWebViewer::LoadStart(),
      new QORMethodEventHandler<DXWebViewer, QORSYPEventArgs>(this, &DXWebViewer::OnPageLoadStart),
      0);
  Subscribe(_pWebViewer, QORVidCtlWebViewer::JSMessage(),
            new QORMethodEventHandler<DXWebViewer, QORVidJSMessageEventArgs>(
                this, &DXWebViewer::OnPageMessage),
            1);

  // Stored last: a page that starts loading before this point gets the document on
  // its first LoadStart afterwards.
  _jsonText = jsonText;
  return S_OK;
}

void DXWebViewer::OnPageLoadStart(QORBaseUnknown*, QORSYPEventArgs*) {
  if (!_pWebViewer || _jsonText.GetLengthInChar() <= 3 || _pageInitialized) return;
  _pageInitialized = true;

  // The pieces around the document, in the order they stand in the script.
  const bool testMode = dx::g_testModeSwitch;
  std::string script;
  script.reserve(_jsonText.Str().size() + 512);
  script.append(kRequireFilter);
  if (testMode) script.append(kTestModeRequire);
  script.append("Filter.init('");
  AppendQuotedForScript(_jsonText.View(), script);
  script.append("'); ");
  if (testMode) script.append("});");
  script.append("});");
  _pWebViewer->RunJavaScript(QORUnicodeString(std::move(script)), __FILE__, __LINE__);
}

void DXWebViewer::OnPageMessage(QORBaseUnknown* i_pSender, QORVidJSMessageEventArgs* i_pArgs) {
  QOR_CHECK_RETURN(i_pSender);
  QOR_CHECK_RETURN(i_pArgs);
  QOR_CHECK_RETURN(_pWebViewer);
  const std::vector<QORUnicodeString>& messages = i_pArgs->GetMessages();
  if (messages.size() == 1) {
    if (messages[0].Compare("onLoad")) Notify(new QORInputFilterPanelLoadedNotif(-1));
    return;
  }
  if (messages.size() != 2) return;
  const QORUnicodeString& name = messages[0];
  if (name.Compare("onOkClick")) {
    OnOkAnswer(messages[1]);
  } else if (dx::g_testModeSwitch && name.Compare("registerInteraction")) {
    Notify(new QORInputFilterInteractionRecordNotif(messages[1], -1));
  } else if (dx::g_testModeSwitch && name.Compare("onSaveClick")) {
    Notify(new QORInputFilterDumpModelNotif(messages[1], -1));
  }
}

void DXWebViewer::OnOkAnswer(const QORUnicodeString& document) {
  // Copied with room for a JSON parser's padding, so that the owner parses it where it
  // lies rather than in yet another copy.
  std::string text;
  text.reserve(document.Str().size() + kParserPadding);
  text.assign(document.Str());
  _jsonText = QORUnicodeString(std::move(text));
  if (!_pOwner) return;
  _pOwner->SetDocumentFromText(_jsonText);
  if (dx::g_saveAndUseSwitch) {
    QORUnicodeString folder, fileName;
    QORSplitPath(_sourcePath, folder, fileName);
    // Without "QORTemp" the platform's temporary folder, never the root of the disk.
    QORUnicodeString folderOfTemps = dx::g_temporaryDirectory;
    if (folderOfTemps.IsEmpty()) {
      std::error_code ignored;
      const std::string temporary = std::filesystem::temp_directory_path(ignored).string();
      folderOfTemps = QORUnicodeString(temporary.empty() ? std::string("/tmp") : temporary);
    }
    QORUnicodeString target = folderOfTemps + "\\" + fileName + "JSON_Modified.json";
    _pOwner->SaveDocumentToFile(target);
  }
  if (dx::g_testModeSwitch) Notify(new QORInputFilterDumpModelNotif(_jsonText, -1));
  HideAndNotifyClosed();
}

void DXWebViewer::OnStandardButtonClicked(QORBaseUnknown*,
                                          QORVidFraDialogButtonClickedEventArgs* i_pArgs) {
  QOR_CHECK_RETURN(i_pArgs);
  QOR_CHECK_RETURN(_pWebViewer);
  switch (i_pArgs->GetStandardButton()) {
    case kOkButton:
      // The page answers with "onOkClick" and the document; the dialog waits for it.
      _pWebViewer->RunJavaScript(
          QORUnicodeString(kRequireFilter) + "Filter.sendNewJson('onOkClick'); });", __FILE__,
          __LINE__);
      break;
    case kSaveButton:
      _pWebViewer->RunJavaScript(
          QORUnicodeString(kRequireFilter) + "Filter.sendNewJson('onSaveClick'); });", __FILE__,
          __LINE__);
      break;
    case kCancelButton:
      HideAndNotifyClosed();
      break;
    default:
      break;
  }
}

void DXWebViewer::OnWindowClosed(QORBaseUnknown*, QORSYPEventArgs*) {
  HideAndNotifyClosed();
}

void DXWebViewer::HideAndNotifyClosed() {
  SetVisibleFlag(0);
  Notify(new QORInputFilterPanelClosedNotif(-1));
}

void DXWebViewer::Notify(QORNotification* notification) {
  // A failed allocation sends nothing, which the command tree takes as a no-op.
  SendNotification(GetFather(), notification);
}

void DXWebViewer::OnButtonReplayNotif(QORCommand*, QORNotification* i_pNotification, void*) {
  auto* notification = QORDynamicCast<QORInputFilterNotifWithString>(i_pNotification);
  if (!notification) return;
  QORString button = notification->GetDataString().ConvertToChar();
  StandardButtonClicked(button);
}

void DXWebViewer::OnJSReplayNotif(QORCommand*, QORNotification* i_pNotification, void*) {
  auto* notification = QORDynamicCast<QORInputFilterNotifWithString>(i_pNotification);
  if (!notification) return;
  // The interaction text is the page's own and is inserted as it came.
  QORUnicodeString script = QORUnicodeString(kRequireFilter) + "Filter.simulate('" +
                            notification->GetDataString() + "'); " + "});";
  if (_pWebViewer) _pWebViewer->RunJavaScript(script, __FILE__, __LINE__);
}
