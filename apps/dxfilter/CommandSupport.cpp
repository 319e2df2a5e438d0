// CommandSupport.cpp - failures, small JSON texts and single answers of dxfilter.
#include "CommandSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "DXFilterHost.h"
#include "JsonStreams/JIStream.h"
#include "ObjectModelRuntime/QORErrorText.h"
#include "TerminalText.h"

namespace dxfilter {

int Fail(const std::string& reason) {
  std::fprintf(stderr, "dxfilter: %s\n", reason.c_str());
  return 1;
}

std::string Reason(HRESULT hr) {
  std::string text = QORTakeErrorText();
  return text.empty() ? DXFilterHost::Describe(hr) : text;
}

std::string ShownName(const std::string& path) {
  return path == "-" ? "standard input" : path;
}

bool ReadTextFile(const std::string& path, std::string& text, std::string& error, size_t limit) {
  const std::string name = ShownName(path);
  const int fd = path == "-" ? ::dup(STDIN_FILENO) : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot read " + name + ": " + std::strerror(errno);
    return false;
  }
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    error = "cannot read " + name + ": " + std::strerror(EISDIR);
    return false;
  }
  if (S_ISREG(info.st_mode) && static_cast<uint64_t>(info.st_size) > limit) {
    ::close(fd);
    error = name + " is larger than " + std::to_string(limit >> 20) + " MiB";
    return false;
  }
  text.clear();
  char chunk[65536];
  bool started = false;
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof(chunk));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = "cannot read " + name + ": " + std::strerror(errno);
      ::close(fd);
      return false;
    }
    if (got == 0) break;
    if (text.size() + static_cast<size_t>(got) > limit) {
      error = name + " gives more than " + std::to_string(limit >> 20) + " MiB";
      ::close(fd);
      return false;
    }
    const size_t before = text.size();
    text.append(chunk, static_cast<size_t>(got));
    if (!started) {
      const size_t at = text.find_first_not_of(" \t\r\n", before);
      if (at != std::string::npos) {
        started = true;
        if (text[at] == '\0' || !std::strchr("{[\"-0123456789tfn", text[at])) {
          error = name + " is not a JSON document";
          ::close(fd);
          return false;
        }
      }
    }
  }
  ::close(fd);
  return true;
}

bool CheckSettings(const std::string& path, const std::string& text, std::string& error) {
  JSON::JIStream probe;
  if (!probe.Parse(std::string_view(text))) {
    error = path + ": not a valid settings file (" + probe.LastError() + ")";
    return false;
  }
  if (!probe.IsObject()) {
    error = path + ": not a valid settings file (the top level is not a JSON object)";
    return false;
  }
  return true;
}

std::string DefaultOutput(const std::string& input) {
  std::string name = input.substr(input.find_last_of('/') + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name + ".filter.json";
}

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int PrintSingleAnswers(QORIResolvedInputFilter& reader, const std::vector<std::string>& gets,
                       const std::string& setting, bool& acted) {
  int status = 0;
  for (size_t i = 0; i + 1 < gets.size(); i += 2) {
    QORUnicodeString value;
    if (QORSucceeded(reader.GetObjectAttribute(QORUnicodeString(gets[i]),
                                               QORUnicodeString(gets[i + 1]), value))) {
      std::printf("%s\n", TerminalText(value.Str()).c_str());
    } else {
      std::fprintf(stderr, "dxfilter: no attribute %s for %s\n", TerminalText(gets[i + 1]).c_str(),
                   TerminalText(gets[i]).c_str());
      status = 1;
    }
    acted = true;
  }
  if (!setting.empty()) {
    QORUnicodeString value;
    if (QORSucceeded(reader.GetSetting(QORUnicodeString(setting), value))) {
      std::printf("%s\n", TerminalText(value.Str()).c_str());
    } else {
      std::fprintf(stderr, "dxfilter: no setting %s\n", TerminalText(setting).c_str());
      status = 1;
    }
    acted = true;
  }
  return status;
}

}  // namespace dxfilter
