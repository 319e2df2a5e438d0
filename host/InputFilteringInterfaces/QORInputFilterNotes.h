// QORInputFilterNotes.h - what a structure provider wants the user to know about the file it
// read (records it skipped, cycles it cut), beside its result.
//
// The provider interface has no channel for it and its eleven methods stay as they are: a
// provider adds its notes while it reads, and the host takes them once generation is over and
// shows them as it likes (dxfilter prints each as one line after the progress bar).
//
//   QORInputFilterNotes::Add("3 usages skipped (ends are not product definitions)");
//   for (const std::string& note : QORInputFilterNotes::Take()) ...
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ObjectModelRuntime/QORTypes.h"

class QOR_KIT_API QORInputFilterNotes {
 public:
  // One line of plain text; an empty note is ignored. Safe from any thread.
  static void Add(std::string_view note);
  // The notes added since the last call, oldest first; none are left behind.
  static std::vector<std::string> Take();
};
