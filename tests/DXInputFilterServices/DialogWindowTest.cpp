// DialogWindowTest.cpp - what ShowFilterDialog puts on screen: the window, its
// buttons, the viewer and its page, and the script that hands the page the document.
#include <gtest/gtest.h>

#include <filesystem>

#include "DialogFixture.h"
#include "EventToolkit/QORDynamicCast.h"
#include "ObjectModelRuntime/QORFillDictionary.h"

namespace dxtest {
namespace {

// The window settings that have no public getter.
struct WindowFlags : QORVidFraWindow {
  static int Resizable(const QORVidFraWindow* w) { return w->*(&WindowFlags::_resizable); }
  static int Compact(const QORVidFraWindow* w) { return w->*(&WindowFlags::_compact); }
  static int MinimizeButton(const QORVidFraWindow* w) {
    return w->*(&WindowFlags::_minimizeButton);
  }
};

constexpr const char* kDocument =
    R"({"data":{"filterID":"F-1","formatUsage":"TestUsage"},"roots":[]})";

using DialogWindow = DialogFixture;

TEST_F(DialogWindow, ShowsAVisibleDialogUnderTheFatherWithTheFilterPage) {
  DX_DIALOG_PROCESS(NormalMode());
  ASSERT_EQ(Load(kDocument), S_OK);
  ASSERT_EQ(generator->ShowFilterDialog(&father), S_OK);

  ASSERT_EQ(father.GetChildren().size(), 1u);
  QORCommand* child = father.GetChildren()[0];
  EXPECT_TRUE(child->IsAKindOf("DXWebViewer"));
  EXPECT_STREQ(child->IsA(), "DXWebViewer");
  QORVidFraDialog* dialog = Dialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->GetFather(), &father);
  EXPECT_EQ(dialog->GetVisibleFlag(), 1);
  EXPECT_EQ(dialog->GetStandardButtons(), QORVidFraDialog::kOK | QORVidFraDialog::kCancel);
  EXPECT_EQ(dialog->GetCloseButtonFlag(), 1);
  EXPECT_EQ(WindowFlags::Resizable(dialog), 1);
  EXPECT_EQ(WindowFlags::Compact(dialog), 0);
  EXPECT_EQ(WindowFlags::MinimizeButton(dialog), 0);

  QORVidCtlWebViewer* viewer = Viewer();
  ASSERT_NE(viewer, nullptr);
  EXPECT_TRUE(viewer->IsAKindOf("QORVidCtlWebViewer"));
  EXPECT_EQ(viewer->GetName(), "DXInputFilterWebViewer");
  EXPECT_EQ(viewer->GetFather(), dialog);
  EXPECT_EQ(dialog->GetChildren(), std::vector<QORCommand*>{viewer});
  EXPECT_EQ(viewer->GetHomeURL().Str(), "zqrtv://webapps/DXInputFilterDisplay/FilterJS.html");
  EXPECT_EQ(viewer->GetUseContextMenuFlag(), 0);
  EXPECT_TRUE(viewer->IsBuilt());
  // Nothing runs in the page before it starts loading, and nothing is said yet.
  EXPECT_TRUE(Scripts().empty());
  EXPECT_TRUE(father.taken.empty());
  EXPECT_EQ(dialog->GetLastClickedButton(), 0);
}

TEST_F(DialogWindow, TestModeAddsTheSaveButton) {
  DX_DIALOG_PROCESS(TestMode());
  ASSERT_EQ(Load(kDocument), S_OK);
  QORVidFraDialog* dialog = Show();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->GetStandardButtons(),
            QORVidFraDialog::kOK | QORVidFraDialog::kSave | QORVidFraDialog::kCancel);
  EXPECT_EQ(dialog->GetVisibleFlag(), 1);
  EXPECT_EQ(Viewer()->GetHomeURL().Str(), "zqrtv://webapps/DXInputFilterDisplay/FilterJS.html");
}

TEST_F(DialogWindow, TitleIsTheFilteringCatalogsInTheUsersLanguage) {
  TempDir catalogs;  // the parent's serves the child
  std::filesystem::create_directories(catalogs.File("en"));
  std::filesystem::create_directories(catalogs.File("fr"));
  catalogs.Write("en/DataExchangeInputFiltering.json",
                 R"json({"FilteringUI_Title":"Filter (en)"})json");
  catalogs.Write("fr/DataExchangeInputFiltering.json",
                 R"({"FilteringUI_Title":"Filtre de l'import","Other":"x"})");
  DialogProcess process;
  process.env = {{"QOR_CATALOG_PATH", catalogs.Path()},
                 {"LC_ALL", "fr_FR.UTF-8"},
                 {"LC_MESSAGES", std::nullopt},
                 {"LANG", std::nullopt}};
  DX_DIALOG_PROCESS(process);
  ASSERT_EQ(Load(kDocument), S_OK);
  QORVidFraDialog* dialog = Show();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->GetTitle().Str(), "Filtre de l'import");
}

// --- the script that hands the page its document

using DialogInitScript = DialogFixture;

// The scripts are spelled out here, so that the fixture's helpers cannot drift with
// the code; an apostrophe reaches the page escaped.
TEST_F(DialogInitScript, FirstLoadStartSendsTheDocumentOnce) {
  DX_DIALOG_PROCESS(NormalMode());
  ASSERT_EQ(Load(R"({"a":"it's"})"), S_OK);
  ASSERT_NE(Show(), nullptr);
  LoadStart();
  EXPECT_EQ(Scripts(), std::vector<std::string>{
                           "require(['ZQ/DXInputFilterDisplay/Filter'], function(Filter) { "
                           "Filter.init('{\\\"a\\\":\\\"it\\'s\\\"}'); });"});
  // A page that starts loading again (a navigation) is not initialised twice.
  LoadStart();
  EXPECT_EQ(Scripts().size(), 1u);
  EXPECT_TRUE(father.taken.empty());
}

TEST_F(DialogInitScript, TestModeRegistersTheSimulationServicesBeforeInit) {
  DX_DIALOG_PROCESS(TestMode());
  ASSERT_EQ(Load(R"({"a":"b"})"), S_OK);
  ASSERT_NE(Show(), nullptr);
  LoadStart();
  LoadStart();
  EXPECT_EQ(Scripts(),
            std::vector<std::string>{
                "require(['ZQ/DXInputFilterDisplay/Filter'], function(Filter) {             "
                "require(['ZQ/SelectiveWebUI_TST/InputFilteringSimulateScenario'], "
                "function(simulationServices) {                 "
                "Filter.registerInteractions(simulationServices);"
                "Filter.init('{\\\"a\\\":\\\"b\\\"}'); });});"});
}

TEST_F(DialogInitScript, EmptyDocumentIsNeverSent) {
  DX_DIALOG_PROCESS(NormalMode());
  ASSERT_EQ(Load("{}"), S_OK);
  ASSERT_NE(Show(), nullptr);
  LoadStart();
  LoadStart();
  EXPECT_TRUE(Scripts().empty());
}

TEST_F(DialogInitScript, GeneratedDocumentIsTheOneSent) {
  DX_DIALOG_PROCESS(NormalMode());
  ASSERT_EQ(Generate(), S_OK);
  ASSERT_NE(Show(), nullptr);
  LoadStart();
  EXPECT_EQ(Scripts(), std::vector<std::string>{InitScript(Escaped(Document()))});
}

// Documents shorter than four characters are no filter; the boundary is exact. Only a
// dialog made by the factory takes an arbitrary text.
class DialogDocumentLength : public DialogFixture,
                             public ::testing::WithParamInterface<std::pair<const char*, bool>> {};

TEST_P(DialogDocumentLength, DocumentIsSentFromFourCharacters) {
  DX_DIALOG_PROCESS(NormalMode());
  ASSERT_EQ(dialog_internals::Missing(), "");
  auto* dialog =
      static_cast<QORVidFraDialog*>(QORFillDictionary::FindFactory("DXWebViewer")(nullptr));
  ASSERT_NE(dialog, nullptr);
  const auto& [text, sent] = GetParam();
  ASSERT_EQ(dialog_internals::InitAndShowWithoutOwner(dialog, QORUnicodeString(text)), S_OK);
  auto* viewer = QORDynamicCast<QORVidCtlWebViewer>(dialog->GetApplicativeWidget());
  ASSERT_NE(viewer, nullptr);
  RaiseLoadStart(viewer);
  if (sent) {
    EXPECT_EQ(ScriptsOf(viewer), std::vector<std::string>{InitScript(Escaped(text))});
  } else {
    EXPECT_TRUE(ScriptsOf(viewer).empty());
  }
  dialog->RequestDelayedDestruction();
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, DialogDocumentLength,
    ::testing::Values(std::pair<const char*, bool>{"", false},
                      std::pair<const char*, bool>{"abc", false},
                      std::pair<const char*, bool>{"abcd", true},
                      // Characters, not bytes: three of them in seven bytes.
                      std::pair<const char*, bool>{"\xC3\xA9\xE2\x82\xAC\xC3\xA9", false},
                      std::pair<const char*, bool>{"\xC3\xA9\xE2\x82\xAC\xC3\xA9x", true}),
    [](const ::testing::TestParamInfo<std::pair<const char*, bool>>& info) {
      return "Case" + std::to_string(info.index) + (info.param.second ? "Sent" : "NotSent");
    });

}  // namespace
}  // namespace dxtest
