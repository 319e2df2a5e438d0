// QORInputFilterNotes.cpp - the process-wide list of providers' notes.
#include "InputFilteringInterfaces/QORInputFilterNotes.h"

#include <mutex>
#include <utility>

namespace {
std::mutex g_notesMutex;
std::vector<std::string> g_notes;
// A provider that adds a note per record would fill memory; a host shows a few lines anyway.
constexpr std::size_t kMaxNotes = 64;
}  // namespace

void QORInputFilterNotes::Add(std::string_view note) {
  if (note.empty()) return;
  std::lock_guard<std::mutex> lock(g_notesMutex);
  if (g_notes.size() < kMaxNotes) g_notes.emplace_back(note);
}

std::vector<std::string> QORInputFilterNotes::Take() {
  std::vector<std::string> notes;
  std::lock_guard<std::mutex> lock(g_notesMutex);
  notes.swap(g_notes);
  return notes;
}
