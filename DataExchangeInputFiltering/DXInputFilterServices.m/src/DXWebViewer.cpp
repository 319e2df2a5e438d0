// DXWebViewer.cpp - the filter dialog's set-up, handlers and notifications. The code
// reads in the order the dialog runs: InitAndShow, the page loading, the page's
// messages, the buttons, then the replays of test mode.
#include "DXWebViewer.h"

#include <atomic>
#include <filesystem>

#include "DXClassMeta.h"
#include "DXInputFilterWebViewer.h"
#include "DXModuleSwitches.h"
#include "DXWebViewerOwner.h"
#include "DataExchangeUtilities/QORDXUnicodeString.h"
#include "EventToolkit/QORCheck.h"
#include "EventToolkit/QORDynamicCast.h"
#include "EventToolkit/QOREventHandler.h"
#include "ObjectModelRuntime/QORErrorText.h"
#include "ObjectModelRuntime/QORGetEnv.h"
#include "ObjectModelRuntime/QORMsgCatalog.h"
#include "QORInputFilterDumpModelNotif.h"
#include "QORInputFilterInteractionRecordNotif.h"
#include "QORInputFilterNotifWithString.h"
#include "QORInputFilterPanelClosedNotif.h"
#include "QORInputFilterPanelLoadedNotif.h"
#include "fctCreateDXWebViewer.h"

namespace {

std::atomic<const QORMetaClass*> s_pMetaObject{nullptr};

const char kFilterPage[] = "zqrtv://webapps/DXInputFilterDisplay/FilterJS.html";
const char kRequireFilter[] = "require(['ZQ/DXInputFilterDisplay/Filter'], function(Filter) { ";
const char kTestModeRequire[] =
    "            require(['ZQ/SelectiveWebUI_TST/InputFilteringSimulateScenario'], "
    "function(simulationServices) {                 "
    "Filter.registerInteractions(simulationServices);";

}  // namespace

const QORMetaClass* DXWebViewer::MetaObject() {
  return zqy::internal::LazyMetaObject(
      s_pMetaObject, [] { return DX_CLASS_META(DXWebViewer, QORVidFraDialog::MetaObject()); });
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

HRESULT DXWebViewer::InitAndShow(QORUnicodeString jsonText, DXWebViewerOwner* owner) {
  _pOwner = owner;
  if (_pOwner) _sourcePath = _pOwner->GetSourcePath();

  SetTitle(QORMsgCatalog::BuildMessage("DataExchangeInputFiltering", "FilteringUI_Title", {},
                                       QORUnicodeString()));
  SetCloseButtonFlag(1);
  SetResizableFlag(1);
  SetCompactFlag(0);
  SetMinimizeButtonFlag(0);
  SetStandardButtons(dx::g_testModeSwitch ? kOkSaveCancel : kOkCancel);

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
  _jsonText = std::move(jsonText);
  return S_OK;
}

void DXWebViewer::OnPageLoadStart(QORBaseUnknown*, QORSYPEventArgs*) {
  // A document of up to 3 characters is no document (counted only when it is short).
  if (!_pWebViewer || _pageInitialized) return;
  if (_jsonText.Str().size() <= 12 && _jsonText.GetLengthInChar() <= 3) return;
  _pageInitialized = true;

  // Filter.init('<document>') inside the requires; the document is handed over as it
  // is, by move: the kit carries it to the page without escaping or copying it.
  const bool testMode = dx::g_testModeSwitch;
  std::string before = kRequireFilter;
  if (testMode) before.append(kTestModeRequire);
  before.append("Filter.init(");
  std::string after = "); ";
  if (testMode) after.append("});");
  after.append("});");
  auto document = std::make_shared<const std::string>(std::move(_jsonText.Str()));
  _jsonText = QORUnicodeString();
  _pWebViewer->RunJavaScriptWithText(std::move(before), std::move(document), std::move(after),
                                     __FILE__, __LINE__);
}

void DXWebViewer::OnPageMessage(QORBaseUnknown* i_pSender, QORVidJSMessageEventArgs* i_pArgs) {
  QOR_CHECK_RETURN(i_pSender);
  QOR_CHECK_RETURN(i_pArgs);
  QOR_CHECK_RETURN(_pWebViewer);
  std::vector<QORUnicodeString>& messages = i_pArgs->Messages();
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

void DXWebViewer::OnOkAnswer(QORUnicodeString& document) {
  // A page that starts loading after this is shown the answer.
  if (!_pageInitialized) _jsonText = document;
  if (!_pOwner) return;
  QORTakeErrorText();  // a reason left by an earlier failure is not this one's
  const QORUnicodeString dumped = dx::g_testModeSwitch ? document : QORUnicodeString();
  // The owner parses the text where it lies (the kit leaves a message's long strings room
  // for that) and may keep its bytes, leaving the message empty for the handlers after.
  if (QORFailed(_pOwner->SetDocumentFromText(std::move(document)))) {
    // The owner kept its old document: ending as OK would have the host import the
    // unedited one. The dialog ends as a Cancel does, with the reason left for the host.
    const std::string why = QORTakeErrorText();
    QORSetErrorText("the filter page's answer is not a filter document" +
                    (why.empty() ? std::string() : " (" + why + ")") +
                    "; the dialog ends as cancelled");
    ClickStandardButton(kCancel);
    return;
  }
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
  if (dx::g_testModeSwitch) Notify(new QORInputFilterDumpModelNotif(dumped, -1));
  HideAndNotifyClosed();
}

void DXWebViewer::OnStandardButtonClicked(QORBaseUnknown*,
                                          QORVidFraDialogButtonClickedEventArgs* i_pArgs) {
  QOR_CHECK_RETURN(i_pArgs);
  QOR_CHECK_RETURN(_pWebViewer);
  switch (i_pArgs->GetStandardButton()) {
    case QORVidFraDialog::kOK:
      // The page answers with "onOkClick" and the document; the dialog waits for it.
      _pWebViewer->RunJavaScript(
          QORUnicodeString(kRequireFilter) + "Filter.sendNewJson('onOkClick'); });", __FILE__,
          __LINE__);
      break;
    case QORVidFraDialog::kSave:
      _pWebViewer->RunJavaScript(
          QORUnicodeString(kRequireFilter) + "Filter.sendNewJson('onSaveClick'); });", __FILE__,
          __LINE__);
      break;
    case QORVidFraDialog::kCancel:
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
