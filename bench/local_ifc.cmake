# Links the IFC reader into its benchmark, and builds the modules its generation case loads
# from lib/modules at run time. Included from bench/CMakeLists.txt, or deferred from
# providers/IFC when that line is not there yet; the guard makes either order safe.
include_guard(GLOBAL)
if(TARGET bench_ifc_parse AND TARGET IfcModel)
  target_link_libraries(bench_ifc_parse PRIVATE IfcModel)
endif()
if(TARGET bench_ifc_parse AND TARGET DXInputFilterServices AND TARGET InputIfcFilter)
  add_dependencies(bench_ifc_parse DXInputFilterServices InputIfcFilter)
endif()
