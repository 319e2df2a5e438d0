// QORWebAssets.h - the files the dialog toolkit serves to its pages: a table of
// (path, bytes, media type). The kit embeds only its own pages, as "__qor/<name>"; the
// web applications ("webapps/<relative path>") belong to whoever ships them: a module
// embeds its pages as a set it adds when it is loaded (qor_embed_web_assets(... SET)
// does both), and a program or a test may add single files at run time. Look-ups are
// exact: there is no folder, no listing and no normalisation of paths.
//
//   QORWebAssets::Register("webapps/Demo/index.html", html, "text/html; charset=utf-8");
//   // served as http://127.0.0.1:<port>/<token>/webapps/Demo/index.html
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ObjectModelRuntime/QORTypes.h"

class QOR_KIT_API QORWebAssets {
 public:
  struct Asset {
    std::string_view bytes;
    std::string_view mediaType;
    // Keeps bytes valid while the caller serves them, even if the path is replaced.
    std::shared_ptr<const void> owner;
  };

  // One file of a set that lives as long as the library holding it.
  struct Entry {
    const char* path;
    const char* begin;
    const char* end;
    const char* mediaType;
  };

  // Adds a library's files, looked up after those given to Register. The entries must
  // stay valid until RemoveSet(entries). Entries outside "webapps/" or without a media
  // type are left out; false when any was.
  static bool AddSet(const Entry* entries, size_t count);
  static void RemoveSet(const Entry* entries);

  // Adds or replaces a web application file; path must start with "webapps/" and
  // hold no empty, "." or ".." segment. False (nothing added) otherwise.
  static bool Register(const std::string& path, std::string bytes, const std::string& mediaType);
  // The same with bytes shared with the caller, not copied.
  static bool Register(const std::string& path, std::shared_ptr<const std::string> bytes,
                       const std::string& mediaType);
  // Removes a file added by Register; the sets and the kit's own files stay.
  static void Unregister(const std::string& path);
  static std::optional<Asset> Find(std::string_view path);
  // Every path served, sorted (diagnostics and tests).
  static std::vector<std::string> Paths();
};
