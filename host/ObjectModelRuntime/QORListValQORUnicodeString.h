// QORListValQORUnicodeString.h - the host's list of strings. Indices run from 1 to
// Size(), as everywhere in the host's lists.
//
// RemoveAll keeps the strings it removes, and later appends are copied into them: a list
// filled anew for every entity of a large model then allocates nothing once its strings
// have grown to the longest text it holds.
#pragma once

#include <string_view>
#include <utility>
#include <vector>

#include "SystemStrings/QORUnicodeString.h"

class QOR_KIT_API QORListValQORUnicodeString {
 public:
  QORListValQORUnicodeString() = default;
  // A copy holds the items only, none of the kept strings.
  QORListValQORUnicodeString(const QORListValQORUnicodeString& other)
      : _items(other.begin(), other.end()), _size(other._size) {}
  QORListValQORUnicodeString(QORListValQORUnicodeString&& other) noexcept
      : _items(std::move(other._items)), _size(std::exchange(other._size, 0)) {}
  QORListValQORUnicodeString& operator=(const QORListValQORUnicodeString& other) {
    if (this != &other) {
      RemoveAll();
      for (const QORUnicodeString& item : other) Append(item);
    }
    return *this;
  }
  QORListValQORUnicodeString& operator=(QORListValQORUnicodeString&& other) noexcept {
    if (this != &other) {
      _items = std::move(other._items);
      _size = std::exchange(other._size, 0);
      other._items.clear();
    }
    return *this;
  }
  ~QORListValQORUnicodeString() = default;

  int Size() const { return static_cast<int>(_size); }
  // One-based; the caller keeps i within 1..Size().
  const QORUnicodeString& operator[](int i) const { return _items[static_cast<size_t>(i - 1)]; }
  QORUnicodeString& operator[](int i) { return _items[static_cast<size_t>(i - 1)]; }
  // An item of this very list may be appended: the vector grows only through push_back,
  // which copies its argument before it moves the items.
  void Append(const QORUnicodeString& item) {
    if (_size < _items.size()) {
      _items[_size] = item;
    } else {
      _items.push_back(item);
    }
    ++_size;
  }
  void Append(QORUnicodeString&& item) {
    if (_size < _items.size()) {
      _items[_size] = std::move(item);
    } else {
      _items.push_back(std::move(item));
    }
    ++_size;
  }
  // The text's bytes as a new item, without a string made for them first.
  void AppendText(std::string_view text) {
    if (_size < _items.size()) {
      _items[_size].Str().assign(text);
    } else {
      _items.emplace_back(text);
    }
    ++_size;
  }
  void RemoveAll() { _size = 0; }
  void Reserve(int n) { _items.reserve(n > 0 ? static_cast<size_t>(n) : 0); }

  std::vector<QORUnicodeString>::const_iterator begin() const { return _items.begin(); }
  std::vector<QORUnicodeString>::const_iterator end() const {
    return _items.begin() + static_cast<std::ptrdiff_t>(_size);
  }

 private:
  // Items [0, _size); the strings after them are kept for later appends.
  std::vector<QORUnicodeString> _items;
  size_t _size = 0;
};
