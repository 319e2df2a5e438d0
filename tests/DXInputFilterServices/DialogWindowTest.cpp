// DialogWindowTest.cpp - what ShowFilterDialog puts on screen: the window, its
// buttons, the viewer and its page, and the script that hands the page the document:
// escaped as the data-exchange library escapes, and never ending its script element.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>

#include "DialogFixture.h"

namespace dxtest {
namespace {

class DialogWindow : public DialogFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(DialogWindow, ShowsTheFilterPageAndHandsItTheDocumentOnce) {
  const bool testMode = GetParam();
  DX_IN_PROCESS(Mode(testMode));
  ASSERT_EQ(Load(R"({"a":"it's"})"), S_OK);
  ASSERT_EQ(generator->ShowFilterDialog(&father), S_OK);

  ASSERT_EQ(father.GetChildren().size(), 1u);
  EXPECT_STREQ(father.GetChildren()[0]->IsA(), "DXWebViewer");
  QORVidFraDialog* dialog = Dialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->GetFather(), &father);
  EXPECT_EQ(dialog->GetVisibleFlag(), 1);
  EXPECT_EQ(dialog->GetStandardButtons(),
            testMode ? QORVidFraDialog::kOkSaveCancel : QORVidFraDialog::kOkCancel);
  EXPECT_EQ(dialog->GetCloseButtonFlag(), 1);
  QORVidCtlWebViewer* viewer = Viewer();
  ASSERT_NE(viewer, nullptr);
  EXPECT_EQ(viewer->GetName(), "DXInputFilterWebViewer");
  EXPECT_EQ(dialog->GetChildren(), std::vector<QORCommand*>{viewer});
  EXPECT_EQ(viewer->GetHomeURL().Str(), "zqrtv://webapps/DXInputFilterDisplay/FilterJS.html");
  EXPECT_EQ(viewer->GetUseContextMenuFlag(), 0);
  EXPECT_TRUE(viewer->IsBuilt());
  // Nothing runs in the page before it starts loading, and nothing is said yet.
  EXPECT_TRUE(Scripts().empty());
  EXPECT_EQ(dialog->GetLastClickedButton(), 0);

  // The escaped document spelled out, so that it cannot drift with the escaping helper.
  // A page that starts loading again (a navigation) is not initialised twice.
  Do("load");
  Do("load");
  EXPECT_EQ(Scripts(), Names{InitScript(R"({\"a\":\"it\'s\"})", testMode)});
  EXPECT_TRUE(father.names.empty());
}

INSTANTIATE_TEST_SUITE_P(Modes, DialogWindow, ::testing::Bool());

TEST_F(DialogFixture, TitleIsTheFilteringCatalogsInTheUsersLanguage) {
  TempDir catalogs;  // the parent's serves the child
  std::filesystem::create_directories(catalogs.File("en"));
  std::filesystem::create_directories(catalogs.File("fr"));
  catalogs.Write("en/DataExchangeInputFiltering.json",
                 R"json({"FilteringUI_Title":"Filter (en)"})json");
  catalogs.Write("fr/DataExchangeInputFiltering.json",
                 R"({"FilteringUI_Title":"Filtre de l'import","Other":"x"})");
  EnvChanges process = Mode(false);
  process.insert({{"QOR_CATALOG_PATH", catalogs.Path()},
                  {"LC_ALL", "fr_FR.UTF-8"},
                  {"LC_MESSAGES", std::nullopt},
                  {"LANG", std::nullopt}});
  DX_IN_PROCESS(process);
  ASSERT_EQ(Generate(), S_OK);
  ASSERT_NE(Show(), nullptr);
  EXPECT_EQ(Dialog()->GetTitle().Str(), "Filtre de l'import");
}

// Documents shorter than four characters (not bytes) are no filter, and are never
// sent; only a dialog made by the factory takes an arbitrary text.
TEST_F(DialogFixture, DocumentIsSentFromFourCharacters) {
  DX_IN_PROCESS(Mode(false));
  ASSERT_EQ(Load("{}"), S_OK);
  ASSERT_NE(Show(), nullptr);
  Do("load");
  EXPECT_TRUE(Scripts().empty());
  const std::pair<const char*, bool> cases[] = {{"", false},
                                                {"abc", false},
                                                {"abcd", true},
                                                {"\xC3\xA9\xE2\x82\xAC\xC3\xA9", false},
                                                {"\xC3\xA9\xE2\x82\xAC\xC3\xA9x", true}};
  for (const auto& [text, sent] : cases) {
    OwnerlessDialog shown(text);
    ASSERT_NE(shown.viewer, nullptr);
    RaiseLoadStart(shown.viewer);
    EXPECT_EQ(shown.Scripts(), sent ? Names{InitScript(Escaped(text))} : Names{}) << text;
  }
}

bool EndsAScriptElement(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text.find("</script") != std::string::npos || text.find("<!--") != std::string::npos;
}

// Every character the escaping must get right: an apostrophe, backslashes, quotes, a
// line feed, the line and paragraph separators, a \u0000 escape, markup that would end
// the script element, characters outside the basic plane.
const std::string kHardDocument =
    "{\"apostrophe\":\"it's 'quoted'\",\"backslash\":\"C:\\\\models\\\\part.stp\",\n"
    "\"quotes\":\"say \\\"hi\\\"\",\"separators\":\"a\xE2\x80\xA8"
    "b\xE2\x80\xA9"
    "c\","
    "\"nul\":\"x\\u0000y\",\"markup\":\"</script><!-- --></SCRIPT>\",\r\n"
    "\"astral\":\"\xF0\x9D\x84\x9E \xF0\x9F\x98\x80\",\"tab\":\"\\t\"}";

class DialogEscaping : public DialogFixture, public ::testing::WithParamInterface<bool> {};

// The dialog escapes in one pass of its own: byte for byte what the data-exchange
// library's EscapeJSON gives, with each "'" then written "\'".
TEST_P(DialogEscaping, ScriptStandsForTheDocumentTextExactly) {
  DX_IN_PROCESS(Mode(GetParam()));
  std::string everyByte;
  for (int c = 0; c < 256; ++c) everyByte += static_cast<char>(c);
  // Raw control characters, a trailing backslash, lone apostrophes, a NUL; sequences
  // cut where an escape looks ahead; invalid UTF-8, and a long text.
  const std::string texts[] = {kHardDocument,
                               std::string("\x01\x1F\x7F '\\", 6) + "\\",
                               "''''",
                               "\\'\\'",
                               std::string("ab\0cd", 5),
                               "<</<!<a",
                               "abc\xE2\x80",
                               "\xE2\x80\xA8\xE2\x80\xA9\xE2\x80\xAA\xE2\xE2\x80\xA8",
                               everyByte,
                               std::string(300000, '\'') + everyByte + std::string(300000, '"')};
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.substr(0, 40));
    OwnerlessDialog shown(text);
    ASSERT_NE(shown.viewer, nullptr);
    RaiseLoadStart(shown.viewer);
    const Names scripts = shown.Scripts();
    ASSERT_EQ(scripts.size(), 1u);
    EXPECT_TRUE(scripts[0] == InitScript(Escaped(text), GetParam()));
    EXPECT_FALSE(EndsAScriptElement(scripts[0]));
  }
  // The generator keeps the hard parts (it may spell them its own way).
  ASSERT_EQ(Load(kHardDocument), S_OK);
  const std::string document = Document();
  ASSERT_EQ(Json(document), Json(kHardDocument));
  ASSERT_NE(Show(), nullptr);
  Do("load");
  EXPECT_EQ(Scripts(), Names{InitScript(Escaped(document), GetParam())});
}

INSTANTIATE_TEST_SUITE_P(Modes, DialogEscaping, ::testing::Bool());

}  // namespace
}  // namespace dxtest
