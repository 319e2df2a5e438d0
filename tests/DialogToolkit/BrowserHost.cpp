// The test program's entry point. With --browser-host it is no test run but the host
// of the real-browser test (tests/browser/dialog.test.mjs): it shows the tests' dialog,
// prints "address <url>", then each line of its event log as it comes, and pushes a
// script when the page starts and when OK is clicked. It exits when the window closes
// (3 when it did not in time).
#include <cstring>
#include <iostream>

#include "DialogToolkit/DialogTestSupport.h"

namespace {

class BrowserHost : public WebDialog {
 public:
  void TestBody() override {}

  int Run() {
    SetUp();
    dialog->SetVisibleFlag(1);
    std::cout << "address " << dialog->GetAddress() << std::endl;
    size_t said = 0;
    const bool closed = RunUntil(
        [&] {
          for (; said < recorder->log.size(); ++said) {
            const std::string& line = recorder->log[said];
            std::cout << line << std::endl;
            if (line.starts_with("loadstart") || line == "accept 2")
              viewer->RunJavaScript(
                  QORUnicodeString(("document.title += ' | " + line + "';").c_str()), __FILE__,
                  __LINE__);
          }
          return said && recorder->log.back().starts_with("closed");
        },
        100s);
    TearDown();
    return closed ? 0 : 3;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--browser-host") == 0) return BrowserHost().Run();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
