// What ThreadSanitizer is told about this program, whatever TSAN_OPTIONS says.
//
// The HTTP library comes as Debian's prebuilt shared library, without the sanitizer's
// instrumentation: its memory accesses show only through the libc calls it makes, and
// none of its synchronisation does, so what is reported from inside it is not ours to
// judge. The kit's own code on the server threads stays checked.
#if defined(__SANITIZE_THREAD__)
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_suppressions() {
  return "called_from_lib:libcpp-httplib.so\n";
}
#endif
