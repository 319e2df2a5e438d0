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
#include <thread>
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

std::vector<std::string> Entries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

JOStream LargeStream(int members) {
  JOStream stream;
  for (int i = 0; i < members; ++i) {
    stream.Add(QORUnicodeString("key" + std::to_string(i)),
               QORUnicodeString(std::string(100, 'x')));
  }
  return stream;
}

class JsonFileWrite : public ::testing::Test {
 protected:
  void SetUp() override {
    _folder = fs::path(::testing::TempDir()) /
              ("jsonwrite_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(_folder);
  }
  void TearDown() override {
    fs::permissions(_folder, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(_folder);
  }
  QORUnicodeString PathOf(const std::string& name) const {
    return QORUnicodeString((_folder / name).string());
  }
  fs::path _folder;
};

TEST_F(JsonFileWrite, FilesHoldTheSameTextAsTheStrings) {
  JOStream stream = LargeStream(20000);  // several write buffers
  stream.Add("nested", LargeStream(3));
  ASSERT_TRUE(stream.WriteFile(PathOf("compact.json")));
  ASSERT_TRUE(stream.WritePrettyFile(PathOf("pretty.json")));
  ASSERT_TRUE(JOStream().WriteFile(PathOf("empty.json")));
  EXPECT_EQ(ReadAll(_folder / "compact.json"), stream.Stringify().Str());
  EXPECT_EQ(ReadAll(_folder / "pretty.json"), stream.PrettyStringify().Str());
  EXPECT_EQ(ReadAll(_folder / "empty.json"), "{}");
  EXPECT_EQ(Entries(_folder),
            (std::vector<std::string>{"compact.json", "empty.json", "pretty.json"}));
}

TEST_F(JsonFileWrite, RewritingReplacesTheFileAndKeepsItsPermissions) {
  const fs::path target = _folder / "doc.json";
  std::ofstream(target) << "old content";
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  JOStream stream;
  stream.Add("a", "new");
  ASSERT_TRUE(stream.WriteFile(PathOf("doc.json")));
  EXPECT_EQ(ReadAll(target), R"({"a":"new"})");
  EXPECT_EQ(fs::status(target).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(Entries(_folder), std::vector<std::string>{"doc.json"});
}

TEST_F(JsonFileWrite, WriteIntoAMissingFolderFails) {
  JOStream stream;
  stream.Add("a", "1");
  EXPECT_FALSE(stream.WriteFile(PathOf("missing/doc.json")));
  EXPECT_FALSE(stream.WritePrettyFile(PathOf("missing/doc.json")));
  EXPECT_FALSE(stream.WriteFile(QORUnicodeString("")));
  EXPECT_TRUE(Entries(_folder).empty());
}

TEST_F(JsonFileWrite, WriteOntoADirectoryFailsAndLeavesItAlone) {
  fs::create_directory(_folder / "target");
  std::ofstream(_folder / "target" / "inside.txt") << "kept";
  JOStream stream;
  stream.Add("a", "1");
  EXPECT_FALSE(stream.WriteFile(PathOf("target")));
  EXPECT_FALSE(stream.WritePrettyFile(PathOf("target/")));
  EXPECT_TRUE(fs::is_directory(_folder / "target"));
  EXPECT_EQ(ReadAll(_folder / "target" / "inside.txt"), "kept");
  EXPECT_EQ(Entries(_folder), std::vector<std::string>{"target"});
  EXPECT_EQ(Entries(_folder / "target"), std::vector<std::string>{"inside.txt"});
}

TEST_F(JsonFileWrite, WriteThatFailsHalfwayLeavesTheTargetUntouched) {
  // A file size limit makes the writes fail part way through, even for root.
  const fs::path target = _folder / "doc.json";
  std::ofstream(target) << "old content";
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
  EXPECT_EQ(ReadAll(target), "old content");
  EXPECT_EQ(Entries(_folder), std::vector<std::string>{"doc.json"});
}

TEST_F(JsonFileWrite, WriteIntoAReadOnlyFolderFails) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
  const fs::path target = _folder / "doc.json";
  std::ofstream(target) << "old content";
  fs::permissions(_folder,
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  JOStream stream;
  stream.Add("a", "1");
  EXPECT_FALSE(stream.WriteFile(PathOf("doc.json")));
  fs::permissions(_folder, fs::perms::owner_all, fs::perm_options::add);
  EXPECT_EQ(ReadAll(target), "old content");
  EXPECT_EQ(Entries(_folder), std::vector<std::string>{"doc.json"});
}

// --- what is not a regular file is never replaced by one

TEST_F(JsonFileWrite, ASymbolicLinkHasItsTargetWrittenAndStaysALink) {
  fs::create_directory(_folder / "real");
  std::ofstream(_folder / "real" / "doc.json") << "old";
  fs::create_symlink("real/doc.json", _folder / "link.json");
  fs::create_symlink("real/new.json", _folder / "dangling.json");
  JOStream stream;
  stream.Add("a", "1");
  ASSERT_TRUE(stream.WriteFile(PathOf("link.json")));
  ASSERT_TRUE(stream.WritePrettyFile(PathOf("dangling.json")));
  EXPECT_TRUE(fs::is_symlink(_folder / "link.json"));
  EXPECT_TRUE(fs::is_symlink(_folder / "dangling.json"));
  EXPECT_EQ(ReadAll(_folder / "real" / "doc.json"), R"({"a":"1"})");
  EXPECT_EQ(ReadAll(_folder / "real" / "new.json"), stream.PrettyStringify().Str());
  EXPECT_EQ(Entries(_folder), (std::vector<std::string>{"dangling.json", "link.json", "real"}));
  EXPECT_EQ(Entries(_folder / "real"), (std::vector<std::string>{"doc.json", "new.json"}));
}

TEST_F(JsonFileWrite, AFifoIsWrittenThroughOrRefusedWithoutAReader) {
  const fs::path fifo = _folder / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  JOStream stream;
  stream.Add("a", "through");
  QORTakeErrorText();
  // Nobody reads: refused at once, not waited on.
  EXPECT_FALSE(stream.WriteFile(PathOf("pipe")));
  EXPECT_EQ(QORTakeErrorText(), "a FIFO without a reader");
  EXPECT_TRUE(fs::is_fifo(fifo));

  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  EXPECT_TRUE(stream.WriteFile(PathOf("pipe")));
  char buffer[64] = {};
  const ssize_t got = ::read(reader, buffer, sizeof(buffer) - 1);
  ::close(reader);
  EXPECT_EQ(std::string(buffer, got > 0 ? static_cast<size_t>(got) : 0), R"({"a":"through"})");
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_EQ(Entries(_folder), std::vector<std::string>{"pipe"});
}

TEST_F(JsonFileWrite, AFailureSaysWhy) {
  JOStream stream;
  stream.Add("a", "1");
  fs::create_directory(_folder / "dir");
  QORTakeErrorText();
  EXPECT_FALSE(stream.WriteFile(PathOf("dir")));
  EXPECT_EQ(QORTakeErrorText(), "Is a directory");
  EXPECT_FALSE(stream.WriteFile(PathOf("missing/doc.json")));
  EXPECT_EQ(QORTakeErrorText(), "No such file or directory");
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
    for (const std::string& name : Entries(_folder)) seen = seen || name.ends_with(".tmp");
  }
  ::kill(child, SIGTERM);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(seen) << "the child never started a write";
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM)
      << "the signal still ends the program";
  for (const std::string& name : Entries(_folder)) EXPECT_EQ(name, "doc.json");
}

}  // namespace
