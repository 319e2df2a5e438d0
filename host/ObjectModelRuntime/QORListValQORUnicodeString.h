// QORListValQORUnicodeString.h - the host's list of strings. Indices run from 1 to
// Size(), as everywhere in the host's lists.
#pragma once

#include <vector>

#include "SystemStrings/QORUnicodeString.h"

class QOR_KIT_API QORListValQORUnicodeString {
 public:
  int Size() const { return static_cast<int>(_items.size()); }
  // One-based; the caller keeps i within 1..Size().
  const QORUnicodeString& operator[](int i) const { return _items[static_cast<size_t>(i - 1)]; }
  QORUnicodeString& operator[](int i) { return _items[static_cast<size_t>(i - 1)]; }
  void Append(const QORUnicodeString& item) { _items.push_back(item); }
  void Append(QORUnicodeString&& item) { _items.push_back(std::move(item)); }
  void RemoveAll() { _items.clear(); }
  void Reserve(int n) { _items.reserve(n > 0 ? static_cast<size_t>(n) : 0); }

  auto begin() const { return _items.begin(); }
  auto end() const { return _items.end(); }

 private:
  std::vector<QORUnicodeString> _items;
};
