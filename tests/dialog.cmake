# Tests of the dialog toolkit: the command tree, events and the event loop, and the
# web backend driven by an HTTP client that plays the browser. The browser test's
# host program is built beside them (tests/browser/dialog.test.mjs runs it).
dx_add_test_dir(DialogToolkit PkgConfig::HTTPLIB)
if(TARGET test_DialogToolkit)
  target_compile_definitions(test_DialogToolkit PRIVATE "DX_SOURCE_DIR=\"${CMAKE_SOURCE_DIR}\"")
  # The message reader is kit internal: its test compiles it in.
  target_sources(test_DialogToolkit PRIVATE ${CMAKE_SOURCE_DIR}/host/DialogToolkit/src/QORWebMessage.cpp)
  target_link_libraries(test_DialogToolkit PRIVATE PkgConfig::SIMDJSON)

  # The concurrency tests in one run, for the ThreadSanitizer build: ctest -R Concurrent
  # finds them by name, ctest -L concurrency by label.
  add_test(NAME DialogToolkit.ConcurrencyTests COMMAND test_DialogToolkit --gtest_filter=*Concurrent*)
  set_tests_properties(DialogToolkit.ConcurrencyTests PROPERTIES
    LABELS "concurrency"
    ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1")

  add_executable(dialog_test_host ${CMAKE_CURRENT_SOURCE_DIR}/DialogToolkit/host/dialog_test_host.cpp)
  target_link_libraries(dialog_test_host PRIVATE QORHostKit)
endif()
