dx_add_test_dir(IFC IfcModel)
target_compile_definitions(test_IFC PRIVATE "DX_SAMPLES_DIR=\"${CMAKE_SOURCE_DIR}/samples\"")
