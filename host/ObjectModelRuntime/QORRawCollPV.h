// QORRawCollPV.h - the host's list of opaque pointers (entity handles of a structure
// provider, for instance). Indices run from 1 to Size().
#pragma once

#include <vector>

#include "SystemStrings/QORTypes.h"

class QOR_KIT_API QORRawCollPV {
 public:
  int Size() const { return static_cast<int>(_items.size()); }
  void* operator[](int i) const { return _items[static_cast<size_t>(i - 1)]; }
  void Append(void* item) { _items.push_back(item); }
  void RemoveAll() { _items.clear(); }
  void Reserve(int n) { _items.reserve(n > 0 ? static_cast<size_t>(n) : 0); }

 private:
  std::vector<void*> _items;
};
