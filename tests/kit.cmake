# Tests of the host kit beyond one program per folder: the object model's test
# plug-in modules, built into folders of their own (never the production module
# folder, which QORLoadModules scans), and the concurrency tests that the
# ThreadSanitizer build runs on their own (ctest -L concurrency).

if(TARGET test_ObjectModelRuntime)
  set(dx_test_plugin_src ${CMAKE_CURRENT_SOURCE_DIR}/ObjectModelRuntime/plugin)
  set(dx_test_module_dir ${CMAKE_BINARY_DIR}/lib/test_modules)

  # A plug-in as production modules are built: a loadable library against the kit,
  # hidden visibility (the project default), found by the tests from its full path.
  function(dx_add_test_module target folder)
    add_library(${target} MODULE ${ARGN})
    target_link_libraries(${target} PRIVATE QORHostKit)
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    set_target_properties(${target} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${dx_test_module_dir}/${folder})
    add_dependencies(test_ObjectModelRuntime ${target})
  endfunction()

  dx_add_test_module(qor_test_plugin plugin ${dx_test_plugin_src}/TestPlugin.cpp)
  # Loaded by file name through QOR_MODULE_PATH.
  dx_add_test_module(qor_test_named_module named ${dx_test_plugin_src}/TinyModule.cpp)
  target_compile_definitions(qor_test_named_module PRIVATE TINY_COMPONENT="TinyNamedComponent")
  # The folder QORLoadModules scans: one module and one library that is not a module.
  dx_add_test_module(qor_test_scan_module scan ${dx_test_plugin_src}/TinyModule.cpp)
  target_compile_definitions(qor_test_scan_module PRIVATE TINY_COMPONENT="TinyScannedComponent")
  dx_add_test_module(qor_test_not_a_module scan ${dx_test_plugin_src}/NotAModule.cpp)

  target_compile_definitions(test_ObjectModelRuntime PRIVATE
    "DX_TEST_PLUGIN_PATH=\"$<TARGET_FILE:qor_test_plugin>\""
    "DX_TEST_NAMED_MODULE_DIR=\"$<TARGET_FILE_DIR:qor_test_named_module>\""
    "DX_TEST_NAMED_MODULE_FILE=\"$<TARGET_FILE_NAME:qor_test_named_module>\""
    "DX_TEST_SCAN_DIR=\"$<TARGET_FILE_DIR:qor_test_scan_module>\""
    "DX_TEST_NOT_A_MODULE_PATH=\"$<TARGET_FILE:qor_test_not_a_module>\""
    "DX_HOST_KIT_PATH=\"$<TARGET_FILE:QORHostKit>\""
    "DX_DEFAULT_MODULE_DIR=\"${DX_MODULE_DIR}\"")

  # The concurrency tests in one run, so that the ThreadSanitizer build can run just
  # them: ctest -L concurrency. Any race report fails the run.
  add_test(NAME ObjectModelRuntime.ConcurrencyTests
           COMMAND test_ObjectModelRuntime --gtest_filter=*Concurrent*)
  set_tests_properties(ObjectModelRuntime.ConcurrencyTests PROPERTIES
    LABELS "concurrency"
    ENVIRONMENT "QOR_MODULE_PATH=${DX_MODULE_DIR};TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1")
endif()

# Each kit test program also runs whole, in one process, under its folder's name:
# that proves its cases independent of each other and of their order, and lets
# ctest -R 'ObjectModel|SystemStrings|DataExchange' select them.
foreach(dir ObjectModelRuntime SystemStrings DataExchangeUtilities)
  if(TARGET test_${dir})
    add_test(NAME ${dir}.AllTestsInOneProcess COMMAND test_${dir} --gtest_shuffle)
    set_tests_properties(${dir}.AllTestsInOneProcess PROPERTIES
      LABELS "hostkit" ENVIRONMENT "QOR_MODULE_PATH=${DX_MODULE_DIR}")
  endif()
endforeach()

if(TARGET test_DataExchangeUtilities)
  # Hash values checked against the reference library; escaped text read back by a
  # real JSON parser.
  target_link_libraries(test_DataExchangeUtilities PRIVATE PkgConfig::XXHASH PkgConfig::SIMDJSON)
endif()
