dx_add_test_dir(IFC IfcModel)
target_compile_definitions(test_IFC PRIVATE "DX_SAMPLES_DIR=\"${CMAKE_SOURCE_DIR}/samples\"")
# The two-thread index with the property index behind it, for the ThreadSanitizer build.
add_test(NAME IFC.ConcurrencyTests COMMAND test_IFC --gtest_filter=*Concurrent*)
set_tests_properties(IFC.ConcurrencyTests PROPERTIES
  LABELS "concurrency"
  ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1")
