// QORWebSystem.cpp - what the web backend asks of the system: random ids and starting
// the browser.
#include "DialogToolkit/src/QORWebSystem.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

bool QORWebRandomHex(size_t bytes, std::string& out) {
  std::vector<unsigned char> raw(bytes);
  size_t got = 0;
  while (got < bytes) {
    ssize_t n = getrandom(raw.data() + got, bytes - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  if (got < bytes) {
    // Kernels without getrandom: the device gives the same bytes.
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    while (got < bytes) {
      ssize_t n = read(fd, raw.data() + got, bytes - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    close(fd);
    if (got < bytes) return false;
  }
  static const char kDigits[] = "0123456789abcdef";
  out.clear();
  out.reserve(bytes * 2);
  for (unsigned char b : raw) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return true;
}

namespace {

// Words of a command line: blanks separate them, quotes group, a backslash outside
// single quotes takes the next character as it is. No other shell syntax.
std::vector<std::string> SplitWords(const std::string& command) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (size_t i = 0; i < command.size(); ++i) {
    char c = command[i];
    if (quote) {
      if (c == quote) {
        quote = 0;
      } else if (c == '\\' && quote == '"' && i + 1 < command.size()) {
        word += command[++i];
      } else {
        word += c;
      }
    } else if (c == '\'' || c == '"') {
      quote = c;
      inWord = true;
    } else if (c == '\\' && i + 1 < command.size()) {
      word += command[++i];
      inWord = true;
    } else if (c == ' ' || c == '\t' || c == '\n') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : "";
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    std::string candidate(folders, start, end - start);
    if (candidate.empty()) candidate.push_back('.');
    candidate.append("/").append(name);
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return "";
}

}  // namespace

namespace {

// Files only this user may read, removed when the program ends.
struct PrivateFiles {
  std::mutex mutex;
  std::string folder;   // made by us, removed at exit; "" for the runtime folder
  std::string runtime;  // the folder files go in
  std::vector<std::string> files;
};
PrivateFiles& Private() {
  static auto* files = new PrivateFiles();
  return *files;
}

void RemovePrivateFiles() {
  PrivateFiles& p = Private();
  std::lock_guard<std::mutex> lock(p.mutex);
  for (const std::string& file : p.files) unlink(file.c_str());
  p.files.clear();
  if (!p.folder.empty()) rmdir(p.folder.c_str());
}

// The user's runtime folder when it is the user's own and closed to others; else a
// folder of our own (mode 0700) in the temporary folder. Under the mutex.
bool PrivateFolder(PrivateFiles& p) {
  if (!p.runtime.empty()) return true;
  struct stat info;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime == '/' && lstat(runtime, &info) == 0 && S_ISDIR(info.st_mode) &&
      info.st_uid == geteuid() && (info.st_mode & 077) == 0) {
    p.runtime = runtime;
  } else {
    const char* temporary = std::getenv("TMPDIR");
    std::string pattern =
        std::string(temporary && *temporary == '/' ? temporary : "/tmp") + "/qor-dialog-XXXXXX";
    if (!mkdtemp(pattern.data())) return false;
    p.folder = p.runtime = pattern;
  }
  std::atexit(RemovePrivateFiles);
  return true;
}

// A page that forwards to the address, readable by this user only: what the browser
// is given, since every local user can read a command line.
std::string WriteForwarder(const std::string& address) {
  PrivateFiles& p = Private();
  std::lock_guard<std::mutex> lock(p.mutex);
  std::string id;
  if (!PrivateFolder(p) || !QORWebRandomHex(8, id)) return "";
  const std::string file = p.runtime + "/qor-dialog-" + id + ".html";
  const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return "";
  // The address holds only URL-safe characters (host, port, hex digits).
  const std::string html =
      "<!doctype html><html><head><meta charset=\"utf-8\">"
      "<meta name=\"referrer\" content=\"no-referrer\">"
      "<meta http-equiv=\"refresh\" content=\"0;url=" +
      address +
      "\"><title>dialog</title></head>"
      "<body><a href=\"" +
      address + "\">" + address + "</a></body></html>\n";
  bool ok = write(fd, html.data(), html.size()) == static_cast<ssize_t>(html.size());
  ok = close(fd) == 0 && ok;
  if (!ok) {
    unlink(file.c_str());
    return "";
  }
  p.files.push_back(file);
  return file;
}

std::mutex& LaunchedMutex() {
  static auto* mutex = new std::mutex();
  return *mutex;
}
std::vector<pid_t>& Launched() {
  static auto* launched = new std::vector<pid_t>();
  return *launched;
}
// Middle children reaped: their browsers ended.
std::set<pid_t>& Ended() {
  static auto* ended = new std::set<pid_t>();
  return *ended;
}
}  // namespace

bool QORLaunchBrowser(const std::string& command, const std::string& address, int* group) {
  if (group) *group = 0;
  std::vector<std::string> words = SplitWords(command);
  if (words.empty()) return false;
  const std::string program = FindProgram(words[0]);
  if (program.empty()) return false;

  // A Chromium-family browser shows the page in a window of its own with --app.
  const std::string base = words[0].substr(words[0].find_last_of('/') + 1);
  bool headless = false;
  for (const std::string& w : words) headless = headless || w.starts_with("--headless");
  const bool chromium =
      base.find("chromium") != std::string::npos || base.find("chrome") != std::string::npos;
  const std::string forwarder = WriteForwarder(address);
  if (forwarder.empty()) return false;
  const std::string url = "file://" + forwarder;
  words.push_back(chromium && !headless ? "--app=" + url : url);

  // Everything the children use is ready before fork: after it, only calls that are
  // safe in a child of a threaded process.
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  int devnull = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (devnull < 0) return false;
  // The middle child tells the browser's process id through this pipe, so that the
  // kit can end a browser it started when the host asks it to.
  int pidPipe[2];
  if (pipe2(pidPipe, O_CLOEXEC) != 0) {
    close(devnull);
    return false;
  }

  pid_t child = fork();
  if (child < 0) {
    close(devnull);
    close(pidPipe[0]);
    close(pidPipe[1]);
    return false;
  }
  if (child == 0) {
    // The middle child starts the browser in a session of its own and waits for it:
    // it holds nothing of the program's (no socket, no output), and its end is how the
    // program learns that the browser ended (the browser's own orphans may linger as
    // zombies, so its process group says nothing).
    setsid();
    pid_t browser = fork();
    if (browser != 0) {
      if (browser > 0) (void)!write(pidPipe[1], &browser, sizeof(browser));
      dup2(devnull, STDIN_FILENO);
      dup2(devnull, STDOUT_FILENO);
      dup2(devnull, STDERR_FILENO);
      syscall(SYS_close_range, 3U, ~0U, 0U);
      if (browser < 0) _exit(1);
      while (waitpid(browser, nullptr, 0) < 0 && errno == EINTR) {
      }
      _exit(0);
    }
    dup2(devnull, STDIN_FILENO);
    dup2(devnull, STDOUT_FILENO);
    dup2(devnull, STDERR_FILENO);
    // The server's sockets and every other descriptor stay with the program.
    syscall(SYS_close_range, 3U, ~0U, 0U);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(devnull);
  close(pidPipe[1]);
  pid_t browser = 0;
  ssize_t got;
  do {
    got = read(pidPipe[0], &browser, sizeof(browser));
  } while (got < 0 && errno == EINTR);
  close(pidPipe[0]);
  if (got != static_cast<ssize_t>(sizeof(browser)) || browser <= 0) {
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    return false;
  }
  // The middle child led the new session, so its id is the browser's process group,
  // which outlives it as long as the browser or any of its children run.
  std::lock_guard<std::mutex> lock(LaunchedMutex());
  Launched().push_back(child);
  if (group) *group = child;
  return true;
}

bool QORLaunchedBrowserEnded(int group) {
  std::lock_guard<std::mutex> lock(LaunchedMutex());
  if (Ended().count(group)) return true;
  if (std::find(Launched().begin(), Launched().end(), group) == Launched().end()) return false;
  int status = 0;
  pid_t done;
  do {
    done = waitpid(group, &status, WNOHANG);
  } while (done < 0 && errno == EINTR);
  if (done != group) return false;
  Ended().insert(group);
  return true;
}

void QOREndLaunchedBrowsers() {
  std::vector<pid_t> browsers;
  {
    std::lock_guard<std::mutex> lock(LaunchedMutex());
    browsers.swap(Launched());
  }
  // Each browser runs in a process group of its own: end the whole group, and wait
  // (within a bound) until it is gone, so that nothing writes into its profile after.
  auto wait = [&browsers](std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      std::erase_if(browsers, [](pid_t group) {
        // The middle child is ours to reap; until then it stays in the group.
        while (waitpid(group, nullptr, WNOHANG) < 0 && errno == EINTR) {
        }
        return kill(-group, 0) != 0 && errno == ESRCH;
      });
      if (browsers.empty() || std::chrono::steady_clock::now() >= deadline) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  };
  for (pid_t group : browsers) kill(-group, SIGTERM);
  wait(std::chrono::seconds(3));
  for (pid_t group : browsers) kill(-group, SIGKILL);
  wait(std::chrono::seconds(2));
}
