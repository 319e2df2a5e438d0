// QORTypes.h - result codes, class identifiers and export markers shared by the
// host kit and every module built against it.
#pragma once

#include <cstdint>
#include <cstring>

#define QOR_EXPORT __attribute__((visibility("default")))
// The kit's own API; modules see it as imported from the kit's shared library.
#define QOR_KIT_API QOR_EXPORT

typedef int32_t HRESULT;
typedef uint32_t ULONG;

#ifndef S_OK
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
// Kit-specific: no creation function is registered under the late type.
constexpr HRESULT QOR_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
#endif

inline bool QORSucceeded(HRESULT hr) {
  return hr >= 0;
}
inline bool QORFailed(HRESULT hr) {
  return hr < 0;
}

// A 128-bit class or interface identifier.
struct QORGUID {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};
typedef QORGUID IID;
typedef QORGUID CLSID;

inline bool operator==(const QORGUID& a, const QORGUID& b) {
  return std::memcmp(&a, &b, sizeof(QORGUID)) == 0;
}
inline bool operator!=(const QORGUID& a, const QORGUID& b) {
  return !(a == b);
}
