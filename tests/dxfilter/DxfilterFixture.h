// DxfilterFixture.h - dxfilter as a user or a script runs it: one scratch folder per
// test, the program run to its end or kept in the background, and the dialog's page
// played by an HTTP client.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace dxtest {

using namespace std::chrono_literals;

inline const std::string kHouse = std::string(DX_SAMPLES_DIR) + "/SampleHouse.ifc";
inline const std::string kGearbox = std::string(DX_SAMPLES_DIR) + "/Gearbox.stp";

struct Result {
  int code = -1;
  std::string out, err;
};

std::string Slurp(const std::string& path);
// A word for the shell, in single quotes.
std::string Quote(const std::string& arg);
int CountOf(const std::string& text, char c);

// One dxfilter process in the background of a folder, its output in files there.
class Background {
 public:
  Background(const std::string& dir, const std::vector<std::string>& args);
  ~Background();
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;

  // Waits for the dialog's address on standard error; false when the process ended first.
  bool Address(int& port, std::string& token);
  // True when the process ended within the time; its exit code then in Code().
  bool Exited(std::chrono::milliseconds limit);
  int Code() const { return _code; }
  std::string Out() const { return Slurp(_dir + "/out"); }
  std::string Err() const { return Slurp(_dir + "/err"); }
  pid_t Pid() const { return _pid; }

 private:
  std::string _dir;
  pid_t _pid = -1;
  bool _ended = false;
  int _code = -1;
};

// The filter page as a browser drives it: the first load takes the cookie, then the
// session is held by one tab.
class Page {
 public:
  Page(int port, const std::string& token);
  int Post(const std::string& path, const std::string& body = "");
  // A message of the page: a JSON array of two strings.
  int Say(const std::string& name, const std::string& text);
  // The scripts the dialog ran in the page so far, each fetched once, in order; waits (a
  // few long polls) until one holds until.
  std::vector<std::string> ScriptsUntil(const std::string& until);

 private:
  httplib::Headers Headers() const;

  httplib::Client _client;
  std::string _base, _cookie, _origin;
  size_t _next = 0;
  std::vector<std::string> _scripts;
};

class DxfilterTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs dxfilter to its end with standard input from a file, or from a shell pipeline's
  // output when input starts with '|'.
  Result Run(const std::vector<std::string>& args, const std::string& input = "/dev/null");
  std::unique_ptr<Background> Start(const std::vector<std::string>& args) {
    return std::make_unique<Background>(_dir, args);
  }
  // Starts an interactive command and opens its page; null (and a failure) without one.
  std::unique_ptr<Page> OpenPage(Background& process);
  // Generates the filter of a model into the named file and gives its text.
  std::string Generate(const std::string& model, const std::string& name,
                       const std::string& format = "IFC");

  std::string File(const std::string& name) const { return _dir + "/" + name; }
  std::string Read(const std::string& name) const { return Slurp(File(name)); }
  std::string Write(const std::string& name, const std::string& text) const;
  bool Exists(const std::string& name) const;

  std::string _dir;
};

}  // namespace dxtest
