// QORVidCtlWebViewer.h - an embedded browser control. Once built it loads its home
// URL by itself; "zqrtv://webapps/..." names a web application of the program, served
// from files embedded in the binary. Scripts given to RunJavaScript run in the page in
// the order given, also those run before the page is ready; a message the page posts
// (an array of strings) raises JSMessage on the host thread.
//
// A browser reload of the page is the same page coming back: the scripts already run
// are run again, in order, and no second LoadStart is raised.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "DialogToolkit/QORVidWidget.h"
#include "SystemStrings/QORUnicodeString.h"

class QOR_KIT_API QORVidCtlWebViewer : public QORVidWidget {
 public:
  QORVidCtlWebViewer(QORCommand* father, const char* name, const QORUnicodeString& text);
  ~QORVidCtlWebViewer() override;

  static const QORMetaClass* MetaObject();
  const QORMetaClass* GetMetaObject() const override;
  const char* IsA() const override;
  int IsAKindOf(const char* className) const override;

  void SetHomeURL(const QORUnicodeString& url) { _homeURL = url; }
  const QORUnicodeString& GetHomeURL() const { return _homeURL; }
  void SetPopupWindowsFlag(int flag) { _popups = flag; }
  void SetAutoLoadFlag(int flag) { _autoLoad = flag; }
  void SetUseJavaScriptFlag(int flag) { _javaScript = flag; }
  void SetUseContextMenuFlag(int flag) { _contextMenu = flag; }
  int GetUseContextMenuFlag() const { return _contextMenu; }
  // Makes the control ready; S_OK.
  HRESULT Build();
  bool IsBuilt() const { return _built; }

  // Queues script for the page; origin and line name the caller for diagnostics. A
  // script given by move is kept as it is, never copied (a document's init script can
  // be hundreds of megabytes).
  void RunJavaScript(const QORUnicodeString& script, const char* origin, int line);
  void RunJavaScript(QORUnicodeString&& script, const char* origin, int line);
  // Queues before + text as a single-quoted string literal + after. The text is shared
  // and reaches the page as it is: it is never escaped into a script nor copied (a
  // document's init script carries the whole document).
  void RunJavaScriptWithText(std::string before, std::shared_ptr<const std::string> text,
                             std::string after, const char* origin, int line);

  // A queued script: code alone, or code around a text literal.
  struct Script {
    std::shared_ptr<const std::string> code;  // the whole script, or the code before the literal
    std::shared_ptr<const std::string> text;  // the literal's value; null for code alone
    std::string after;                        // the code after the literal
    // The whole script as the page would run it.
    std::string Joined() const;
  };
  // Every script run so far, in order (a reload runs them again): whole copies, and shared.
  std::vector<std::string> GetScripts() const;
  const std::vector<Script>& GetSharedScripts() const { return _scripts; }

  static QOREvent* LoadStart();
  static QOREvent* JSMessage();

 private:
  QORUnicodeString _homeURL;
  int _popups = 0;
  int _autoLoad = 1;
  int _javaScript = 1;
  int _contextMenu = 1;
  bool _built = false;
  void Queue(Script script);

  std::vector<Script> _scripts;
};
