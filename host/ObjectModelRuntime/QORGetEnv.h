// QORGetEnv.h - the host's environment and path helpers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "SystemStrings/QORTypes.h"
#include "SystemStrings/QORUnicodeString.h"

// The value of an environment variable, or null when it is not defined.
QOR_KIT_API const char* QORGetEnv(const char* name);

// Splits a path into its folder (without the trailing separator) and its file name.
// Both "\" and "/" separate; a path without separator is all file name.
QOR_KIT_API void QORSplitPath(const QORUnicodeString& path, QORUnicodeString& folder,
                              QORUnicodeString& fileName);

// A host path as the file system takes it: host paths may use "\" as separator (the
// module inserts it), so every "\" becomes "/".
QOR_KIT_API std::string QORNativePath(std::string_view hostPath);

// The folders named by a ":"-separated environment variable when it is set and not
// empty, else the one folder below the program's installation root (the folder above
// the program's bin/): how the kit finds its modules and its catalogs. An installed
// package keeps them under its own folder (installedBelowRoot), which wins when it
// exists; the build tree has only belowRoot.
QOR_KIT_API std::vector<std::string> QORSearchPath(const char* variable, const char* belowRoot,
                                                   const char* installedBelowRoot = nullptr);
