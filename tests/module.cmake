# Tests of the input-filtering module, driven through the host's interfaces. The
# module is a plug-in the tests load as the host does; the program links it as well,
# as a test driver would, for the exported notification class its replay
# notifications derive from. The module therefore loads, and reads its switches,
# before main: tests that need other switches run in a child process.
dx_add_test_dir(DXInputFilterServices PkgConfig::SIMDJSON DXInputFilterServices)
if(TARGET test_DXInputFilterServices)
  add_dependencies(test_DXInputFilterServices DXInputFilterServices)
  # The tests look at the generator's source path through its implementation class.
  target_include_directories(test_DXInputFilterServices PRIVATE
    ${CMAKE_SOURCE_DIR}/DataExchangeInputFiltering/DXInputFilterServices.m/src)
endif()

# The whole program in one process as well, in random order: the module and the
# dictionary are process-wide, so this proves the cases independent of each other,
# and lets ctest -R DXInputFilterServices select them.
if(TARGET test_DXInputFilterServices)
  add_test(NAME DXInputFilterServices.AllTestsInOneProcess
           COMMAND test_DXInputFilterServices --gtest_shuffle)
  set_tests_properties(DXInputFilterServices.AllTestsInOneProcess PROPERTIES
    LABELS "module" ENVIRONMENT "QOR_MODULE_PATH=${DX_MODULE_DIR}")
endif()
