# Links the IFC reader into its benchmark. Included from bench/CMakeLists.txt, or deferred
# from providers/IFC when that line is not there yet; the guard makes either order safe.
include_guard(GLOBAL)
if(TARGET bench_ifc_parse AND TARGET IfcModel)
  target_link_libraries(bench_ifc_parse PRIVATE IfcModel)
endif()
