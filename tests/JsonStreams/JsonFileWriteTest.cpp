// Writing files: content, and the guarantee that a failed write changes nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "JsonStreams/JOStream.h"
#include "ObjectModelRuntime/QORErrorText.h"

namespace {

using JSON::JOStream;
namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

JOStream LargeStream(int members) {
  JOStream stream;
  for (int i = 0; i < members; ++i)
    stream.Add(QORUnicodeString("key" + std::to_string(i)),
               QORUnicodeString(std::string(100, 'x')));
  return stream;
}

class JsonFileWrite : public ::testing::Test {
 protected:
  void SetUp() override {
    _folder = fs::path(::testing::TempDir()) /
              ("jsonwrite_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(_folder);
    _stream.Add("a", "1");
  }
  void TearDown() override { fs::remove_all(_folder); }
  QORUnicodeString PathOf(const std::string& name) const {
    return QORUnicodeString((_folder / name).string());
  }
  // The folder's entries, sorted.
  std::vector<std::string> Entries(const std::string& sub = "") const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(_folder / sub))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  fs::path _folder;
  JOStream _stream;
};

TEST_F(JsonFileWrite, AFailedWriteSaysWhyAndLeavesEverythingAsItWas) {
  fs::create_directory(_folder / "dir");
  std::ofstream(_folder / "dir" / "inside.txt") << "kept";
  const std::pair<const char*, const char*> failures[] = {
      {"dir", "Is a directory"},
      {"dir/", "Is a directory"},
      {"missing/doc.json", "No such file or directory"},
  };
  for (const auto& [name, why] : failures) {
    QORTakeErrorText();
    EXPECT_FALSE(_stream.WriteFile(PathOf(name))) << name;
    EXPECT_EQ(QORTakeErrorText(), why) << name;
    EXPECT_FALSE(_stream.WritePrettyFile(PathOf(name))) << name;
  }
  EXPECT_FALSE(_stream.WriteFile(QORUnicodeString("")));
  EXPECT_EQ(Entries(), std::vector<std::string>{"dir"});
  EXPECT_EQ(Entries("dir"), std::vector<std::string>{"inside.txt"});
  EXPECT_EQ(ReadAll(_folder / "dir" / "inside.txt"), "kept");
}

TEST_F(JsonFileWrite, WriteThatFailsHalfwayLeavesTheTargetUntouched) {
  // A file size limit makes the writes fail part way through, even for root.
  std::ofstream(_folder / "doc.json") << "old content";
  const JOStream stream = LargeStream(20000);  // about 2.3 MB
  struct rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit limited = saved;
  limited.rlim_cur = 1 << 20;
  auto* const previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  const bool compact = stream.WriteFile(PathOf("doc.json"));
  const bool pretty = stream.WritePrettyFile(PathOf("doc.json"));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_FALSE(compact);
  EXPECT_FALSE(pretty);
  EXPECT_EQ(ReadAll(_folder / "doc.json"), "old content");
  EXPECT_EQ(Entries(), std::vector<std::string>{"doc.json"});
}

// Files hold the text and replace the old file keeping its permissions; what is not a
// regular file is never replaced by one.
TEST_F(JsonFileWrite, FilesLinkTargetsAndFifosGetTheText) {
  JOStream stream = LargeStream(20000);  // several write buffers
  stream.Add("nested", LargeStream(3));
  fs::create_directory(_folder / "real");
  std::ofstream(_folder / "real" / "doc.json") << "old";
  std::ofstream(_folder / "empty.json") << "old content";
  const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(_folder / "real" / "doc.json", perms);
  fs::create_symlink("real/doc.json", _folder / "link.json");
  fs::create_symlink("real/new.json", _folder / "dangling.json");
  ASSERT_TRUE(stream.WriteFile(PathOf("link.json")));
  ASSERT_TRUE(stream.WritePrettyFile(PathOf("dangling.json")));
  ASSERT_TRUE(JOStream().WriteFile(PathOf("empty.json")));
  EXPECT_TRUE(fs::is_symlink(_folder / "link.json"));
  EXPECT_TRUE(fs::is_symlink(_folder / "dangling.json"));
  EXPECT_EQ(ReadAll(_folder / "real" / "doc.json"), stream.Stringify().Str());
  EXPECT_EQ(ReadAll(_folder / "real" / "new.json"), stream.PrettyStringify().Str());
  EXPECT_EQ(ReadAll(_folder / "empty.json"), "{}");
  EXPECT_EQ(fs::status(_folder / "real" / "doc.json").permissions(), perms);

  const fs::path fifo = _folder / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  QORTakeErrorText();
  EXPECT_FALSE(_stream.WriteFile(PathOf("pipe")));  // nobody reads: refused, not waited on
  EXPECT_EQ(QORTakeErrorText(), "a FIFO without a reader");
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  EXPECT_TRUE(_stream.WriteFile(PathOf("pipe")));
  char buffer[64] = {};
  const ssize_t got = ::read(reader, buffer, sizeof(buffer) - 1);
  ::close(reader);
  EXPECT_EQ(std::string(buffer, got > 0 ? static_cast<size_t>(got) : 0), R"({"a":"1"})");
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_EQ(Entries(),
            (std::vector<std::string>{"dangling.json", "empty.json", "link.json", "pipe", "real"}));
}

// A child rewrites a file again and again; SIGTERM lands while it writes.
TEST_F(JsonFileWrite, TerminationWhileWritingLeavesNoTemporaryFile) {
  const JOStream stream = LargeStream(20000);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    for (;;) stream.WriteFile(PathOf("doc.json"));
  }
  // Wait (with a deadline) until a temporary file is there, then end the child.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  bool seen = false;
  while (!seen && std::chrono::steady_clock::now() < deadline) {
    for (const std::string& name : Entries()) seen = seen || name.ends_with(".tmp");
  }
  ::kill(child, SIGTERM);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(seen) << "the child never started a write";
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM)
      << "the signal still ends the program";
  for (const std::string& name : Entries()) EXPECT_EQ(name, "doc.json");
}

}  // namespace
