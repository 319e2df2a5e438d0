// DialogFixture.cpp - the dialog fixture, child processes per switch set, and the
// look-up of the dialog's unexported methods.
#include "DialogFixture.h"

#include <dlfcn.h>
#include <elf.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "DataExchangeUtilities/QORDXUnicodeString.h"
#include "DialogToolkit/QORDialogToolkit.h"
#include "EventToolkit/QORDynamicCast.h"
#include "EventToolkit/QOREventLoop.h"
#include "ObjectModelRuntime/QORFillDictionary.h"
#include "ObjectModelRuntime/QOROMModule.h"

namespace dxtest {

namespace {

constexpr const char* kTestModeVariable = "DXWebViewerForKWT";
constexpr const char* kSaveAndUseVariable = "QORDX_SAVEANDUSE_JSONFILTER";
constexpr const char* kTemporaryVariable = "QORTemp";
// Names the one test a child process was started for.
constexpr const char* kChildTestVariable = "DXT_DIALOG_CHILD_TEST";

// The switches as the module read them: the environment this process started with.
struct StartSwitches {
  bool testMode = std::getenv(kTestModeVariable) != nullptr;
  bool saveAndUse = std::getenv(kSaveAndUseVariable) != nullptr;
  std::optional<std::string> temporaryFolder = [] {
    const char* value = std::getenv(kTemporaryVariable);
    return value ? std::optional<std::string>(value) : std::nullopt;
  }();
};
const StartSwitches s_start;

std::string CurrentTestName() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return info ? std::string(info->test_suite_name()) + "." + info->name() : std::string();
}

}  // namespace

DialogProcess NormalMode() {
  return DialogProcess{};
}
DialogProcess TestMode() {
  DialogProcess process;
  process.testMode = true;
  return process;
}
DialogProcess SaveAndUse(std::optional<std::string> temporaryFolder, bool testMode) {
  DialogProcess process;
  process.testMode = testMode;
  process.saveAndUse = true;
  process.temporaryFolder = std::move(temporaryFolder);
  return process;
}

bool RunsHere(const DialogProcess& process) {
  const std::string test = CurrentTestName();
  const char* child = std::getenv(kChildTestVariable);
  if (child && test == child) {
    // Started for this test: the switches must be the ones asked for, or the parent
    // and child would disagree on what ran.
    if (s_start.testMode != process.testMode || s_start.saveAndUse != process.saveAndUse) {
      ADD_FAILURE() << "child process started with other switches than the test needs";
      return false;
    }
    return true;
  }
  const bool sameSwitches =
      s_start.testMode == process.testMode && s_start.saveAndUse == process.saveAndUse &&
      (!process.saveAndUse || s_start.temporaryFolder == process.temporaryFolder);
  if (sameSwitches && process.env.empty()) return true;

  EnvChanges env = process.env;
  env[kTestModeVariable] = process.testMode ? std::optional<std::string>("1") : std::nullopt;
  env[kSaveAndUseVariable] = process.saveAndUse ? std::optional<std::string>("1") : std::nullopt;
  env[kTemporaryVariable] = process.temporaryFolder;
  env[kChildTestVariable] = test;
  for (const char* name :
       {"KWT_DUMP_QORResolvedFilter", "MDW_KWT_TMP", "DXT_CHILD_ROLE", "GTEST_FILTER",
        "GTEST_OUTPUT", "GTEST_SHUFFLE", "GTEST_REPEAT", "GTEST_ALSO_RUN_DISABLED_TESTS"})
    env[name] = std::nullopt;
  ChildRun run = RunSelfInChild({"--gtest_filter=" + test}, env, true);
  // The child must have run this very test, and passed it.
  const bool passed = run.exitCode == 0 &&
                      run.out.find("[       OK ] " + test) != std::string::npos &&
                      run.out.find("[  SKIPPED ]") == std::string::npos;
  EXPECT_TRUE(passed) << "in a child process started with the switches the test needs, exit "
                      << run.exitCode << ":\n"
                      << run.out;
  return false;
}

// --- father command and replays

FatherCommand::FatherCommand() : QORCommand(nullptr, "father") {
  for (const char* name :
       {"QORInputFilterPanelClosedNotif", "QORInputFilterPanelLoadedNotif",
        "QORInputFilterDumpModelNotif", "QORInputFilterInteractionRecordNotif",
        "QORInputFilterButtonInteractionReplayNotif", "QORInputFilterJSInteractionReplayNotif"})
    AddAnalyseNotificationCB(nullptr, name, static_cast<QORCommandMethod>(&FatherCommand::Take),
                             nullptr);
}

void FatherCommand::Take(QORCommand* sender, QORNotification* notification, void*) {
  Taken t;
  t.className = notification->IsA();
  t.mode = notification->GetMode();
  t.sender = sender;
  t.kindOfWithString = notification->IsAKindOf("QORInputFilterNotifWithString") != 0;
  t.kindOfNotification = notification->IsAKindOf("QORNotification") != 0;
  if (auto* withString = QORDynamicCast<QORInputFilterNotifWithString>(notification))
    t.text = withString->GetDataString().Str();
  taken.push_back(std::move(t));
}

std::vector<std::string> FatherCommand::Names() const {
  std::vector<std::string> names;
  for (const Taken& t : taken) {
    std::string name = t.className;
    if (name.rfind("QORInputFilter", 0) == 0) name.erase(0, std::strlen("QORInputFilter"));
    if (name.size() > 5 && name.compare(name.size() - 5, 5, "Notif") == 0)
      name.resize(name.size() - 5);
    if (t.text) name += " " + *t.text;
    names.push_back(name);
  }
  return names;
}

namespace {
constexpr const char* kDriverModuleFile = "libDXInputFilterTestDriver.so";

QORNotification* MakeReplay(const char* factoryName, const std::string& text) {
  QORFactoryFunction make = QORFillDictionary::FindFactory(factoryName);
  const QORUnicodeString data(text);
  return make ? static_cast<QORNotification*>(make(const_cast<QORUnicodeString*>(&data))) : nullptr;
}
}  // namespace

QORNotification* ButtonReplay(const std::string& button) {
  return MakeReplay("QORInputFilterButtonInteractionReplayNotif", button);
}
QORNotification* PageReplay(const std::string& interaction) {
  return MakeReplay("QORInputFilterJSInteractionReplayNotif", interaction);
}

// --- scripts

std::string InitScript(std::string_view escapedDocument) {
  return std::string(kRequireFilter) + "Filter.init('" + std::string(escapedDocument) + "'); });";
}

std::string TestModeInitScript(std::string_view escapedDocument) {
  return std::string(kRequireFilter) + std::string(12, ' ') +
         "require(['ZQ/SelectiveWebUI_TST/InputFilteringSimulateScenario'], "
         "function(simulationServices) {" +
         std::string(17, ' ') + "Filter.registerInteractions(simulationServices);Filter.init('" +
         std::string(escapedDocument) + "'); });});";
}

std::string SendNewJsonScript(std::string_view answer) {
  return std::string(kRequireFilter) + "Filter.sendNewJson('" + std::string(answer) + "'); });";
}

std::string SimulateScript(std::string_view interaction) {
  return std::string(kRequireFilter) + "Filter.simulate('" + std::string(interaction) + "'); });";
}

std::string Escaped(std::string_view document) {
  QORDXUnicodeString escaped = QORDXUnicodeString(QORUnicodeString(document)).EscapeJSON();
  escaped.ReplaceAll("'", "\\'");
  return escaped.Str();
}

// --- the dialog's unexported methods

namespace dialog_internals {
namespace {

struct Methods {
  void* initAndShow = nullptr;
  void* onPageMessage = nullptr;
  void* onStandardButtonClicked = nullptr;
  std::string missing;
};

// Addresses of the named functions in the loaded module, from the module file's
// symbol table (hidden symbols are there unless the file was stripped).
std::map<std::string, void*> FindInModule(const std::vector<std::string>& names, std::string& why) {
  std::map<std::string, void*> found;
  Dl_info info{};
  auto factory = QORFillDictionary::FindFactory("DXWebViewer");
  if (!factory || !dladdr(reinterpret_cast<void*>(factory), &info) || !info.dli_fbase) {
    why = "the module's load address is unknown";
    return found;
  }
  std::optional<std::string> file = ReadFile(info.dli_fname);
  if (!file || file->size() < sizeof(Elf64_Ehdr)) {
    why = std::string("cannot read ") + info.dli_fname;
    return found;
  }
  const char* bytes = file->data();
  const size_t size = file->size();
  auto header = reinterpret_cast<const Elf64_Ehdr*>(bytes);
  if (std::memcmp(header->e_ident, ELFMAG, SELFMAG) != 0 ||
      header->e_ident[EI_CLASS] != ELFCLASS64 || header->e_shentsize != sizeof(Elf64_Shdr) ||
      header->e_shoff + size_t(header->e_shnum) * sizeof(Elf64_Shdr) > size) {
    why = "not a 64-bit ELF file";
    return found;
  }
  auto sections = reinterpret_cast<const Elf64_Shdr*>(bytes + header->e_shoff);
  for (size_t s = 0; s < header->e_shnum; ++s) {
    const Elf64_Shdr& table = sections[s];
    if (table.sh_type != SHT_SYMTAB || table.sh_link >= header->e_shnum) continue;
    const Elf64_Shdr& strings = sections[table.sh_link];
    if (table.sh_offset + table.sh_size > size || strings.sh_offset + strings.sh_size > size)
      continue;
    auto symbols = reinterpret_cast<const Elf64_Sym*>(bytes + table.sh_offset);
    for (size_t i = 0; i < table.sh_size / sizeof(Elf64_Sym); ++i) {
      const Elf64_Sym& symbol = symbols[i];
      if (ELF64_ST_TYPE(symbol.st_info) != STT_FUNC || !symbol.st_value ||
          symbol.st_name >= strings.sh_size)
        continue;
      const char* name = bytes + strings.sh_offset + symbol.st_name;
      for (const std::string& wanted : names)
        if (wanted == name) found[wanted] = static_cast<char*>(info.dli_fbase) + symbol.st_value;
    }
  }
  for (const std::string& wanted : names)
    if (!found.count(wanted)) why += "not in the module's symbol table: " + wanted + "\n";
  return found;
}

const char kInitAndShow[] =
    "_ZN11DXWebViewer11InitAndShowE16QORUnicodeStringP16DXWebViewerOwner";
const char kOnPageMessage[] =
    "_ZN11DXWebViewer13OnPageMessageEP14QORBaseUnknownP24QORVidJSMessageEventArgs";
const char kOnStandardButtonClicked[] =
    "_ZN11DXWebViewer23OnStandardButtonClickedEP14QORBaseUnknownP37QORVidFraDialogButtonClickedEven"
    "tArgs";

const Methods& Find() {
  static const Methods methods = [] {
    Methods m;
    auto found = FindInModule({kInitAndShow, kOnPageMessage, kOnStandardButtonClicked}, m.missing);
    m.initAndShow = found[kInitAndShow];
    m.onPageMessage = found[kOnPageMessage];
    m.onStandardButtonClicked = found[kOnStandardButtonClicked];
    return m;
  }();
  return methods;
}

// A member function called through its address: the object comes first, as the
// platform's calling convention passes it. The dialog classes derive singly, so the
// dialog's address is the DXWebViewer's.
template <class Result, class... Args>
Result Call(void* function, QORVidFraDialog* dialog, Args... args) {
  return reinterpret_cast<Result (*)(void*, Args...)>(function)(dialog, args...);
}

}  // namespace

std::string Missing() {
  return Find().missing;
}

HRESULT InitAndShowWithoutOwner(QORVidFraDialog* dialog, const QORUnicodeString& text) {
  return Call<HRESULT, QORUnicodeString, void*>(Find().initAndShow, dialog, text, nullptr);
}
void OnPageMessage(QORVidFraDialog* dialog, QORBaseUnknown* sender,
                   QORVidJSMessageEventArgs* args) {
  Call<void>(Find().onPageMessage, dialog, sender, args);
}
void OnStandardButtonClicked(QORVidFraDialog* dialog, QORBaseUnknown* sender,
                             QORVidFraDialogButtonClickedEventArgs* args) {
  Call<void>(Find().onStandardButtonClicked, dialog, sender, args);
}

}  // namespace dialog_internals

// --- events

void Raise(QORVidWidget* widget, QOREvent* event, QOREventArgs* args) {
  widget->RaiseEvent(event, args);
  args->Release();
}

void RaiseLoadStart(QORVidCtlWebViewer* viewer) {
  Raise(viewer, QORVidCtlWebViewer::LoadStart(), new QORSYPEventArgs());
}

void RaisePageMessage(QORVidCtlWebViewer* viewer, const std::vector<std::string>& strings) {
  std::vector<QORUnicodeString> messages;
  for (const std::string& s : strings) messages.emplace_back(s);
  Raise(viewer, QORVidCtlWebViewer::JSMessage(), new QORVidJSMessageEventArgs(std::move(messages)));
}

std::vector<std::string> ScriptsOf(const QORVidCtlWebViewer* viewer) {
  return viewer ? viewer->GetScripts() : std::vector<std::string>{};
}

void RunDelayedDestructions() {
  for (int turn = 0; turn < 4; ++turn) QOREventLoop::Host().RunPending();
}

// --- fixture

void DialogFixture::SetUp() {
  ASSERT_TRUE(LoadFilterModule());
  // The replays come from the driver's module, as in a test driver's process.
  std::string why;
  ASSERT_TRUE(QORSucceeded(QORLoadModule(kDriverModuleFile, &why))) << why;
  QORDialogToolkit::SetBackend(QORDialogToolkit::Backend::None);
  RegisterTestProviders();
  SetProviderModel(&model);
  model.roots = {model.Add("site", "Site", {"u1"})};
  _previousSink =
      QORSetCheckSink([this](const QORCheckReport& report) { checks.push_back(report); });
  RunDelayedDestructions();  // whatever an earlier test left queued
  _liveAtStart = QORLiveAllocations();
  ASSERT_EQ(Instantiate("INPUT_FILTER_GENERATOR", generator), S_OK);
  ASSERT_TRUE(generator);
}

void DialogFixture::TearDown() {
  generator.Reset();
  RunDelayedDestructions();
  SetProviderModel(nullptr);
  QORSetCheckSink(std::move(_previousSink));
  // The dialog, its viewer, their handlers and every notification are gone with the
  // generator, and nothing failed a check unless the test took the report.
  EXPECT_EQ(QORLiveAllocations(), _liveAtStart);
  EXPECT_TRUE(father.GetChildren().empty());
  for (const QORCheckReport& report : checks)
    ADD_FAILURE() << "check failed: " << report.expression << " (" << report.file << ":"
                  << report.line << ")";
}

HRESULT DialogFixture::Load(std::string_view documentText) {
  static int counter = 0;
  return generator->LoadDocumentFromFile(
      QORUnicodeString(dir.Write("document-" + std::to_string(++counter) + ".json", documentText)),
      nullptr);
}

HRESULT DialogFixture::Generate(const char* sourcePath) {
  return generator->GenerateDocument(QORUnicodeString(kTestFormat), QORUnicodeString(sourcePath),
                                     nullptr);
}

std::string DialogFixture::Document() {
  return SavedDocument(generator.Get(), dir);
}

QORVidFraDialog* DialogFixture::Show() {
  if (generator->ShowFilterDialog(&father) != S_OK) return nullptr;
  return Dialog();
}

QORVidFraDialog* DialogFixture::Dialog() const {
  QORVidFraDialog* newest = nullptr;
  for (QORCommand* child : father.GetChildren())
    if (child->IsAKindOf("DXWebViewer")) newest = QORDynamicCast<QORVidFraDialog>(child);
  return newest;
}

QORVidCtlWebViewer* DialogFixture::Viewer() const {
  QORVidFraDialog* dialog = Dialog();
  return dialog ? QORDynamicCast<QORVidCtlWebViewer>(dialog->GetApplicativeWidget()) : nullptr;
}

void DialogFixture::Replay(QORNotification* notification) {
  ASSERT_NE(notification, nullptr) << "the test driver module made no replay";
  driver.SendNotification(Dialog(), notification);
}

std::vector<std::string> DialogFixture::TakeChecks() {
  std::vector<std::string> expressions;
  for (const QORCheckReport& report : checks) expressions.push_back(report.expression);
  checks.clear();
  return expressions;
}

}  // namespace dxtest
