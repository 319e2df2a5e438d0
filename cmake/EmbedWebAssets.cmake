# EmbedWebAssets.cmake - the files the dialog toolkit's web server serves, built into
# the binary as a table of (path, bytes, media type). The server only looks paths up
# in that table, so no request can reach a file outside it.
#
#   qor_page_bundle(QORDialogToolkit)              # FilterBundle.js, made by node
#   qor_default_web_assets(assets)                 # webapps/, vendor scripts, kit pages
#   qor_embed_web_assets(QORDialogToolkit ${assets}) # key file key file ...
#
# The bytes come in through the assembler's .incbin: a file of megabytes costs no
# compile time. The generated source lists every file as a dependency, and the globs
# are re-checked at build time, so adding or editing a page rebuilds the table.

# The media type served for a file, from its extension.
function(qor_web_media_type file out_var)
  get_filename_component(ext "${file}" LAST_EXT)
  string(TOLOWER "${ext}" ext)
  # "|" stands for "; ", which a CMake list would split on.
  set(types
    ".html" "text/html|charset=utf-8"
    ".htm" "text/html|charset=utf-8"
    ".js" "text/javascript|charset=utf-8"
    ".mjs" "text/javascript|charset=utf-8"
    ".css" "text/css|charset=utf-8"
    ".json" "application/json"
    ".map" "application/json"
    ".txt" "text/plain|charset=utf-8"
    ".svg" "image/svg+xml"
    ".png" "image/png"
    ".jpg" "image/jpeg"
    ".jpeg" "image/jpeg"
    ".gif" "image/gif"
    ".ico" "image/x-icon"
    ".woff" "font/woff"
    ".woff2" "font/woff2"
    ".ttf" "font/ttf")
  set(type "application/octet-stream")
  list(FIND types "${ext}" at)
  if(at GREATER_EQUAL 0)
    math(EXPR at "${at} + 1")
    list(GET types ${at} type)
    string(REPLACE "|" "; " type "${type}")
  endif()
  set(${out_var} "${type}" PARENT_SCOPE)
endfunction()

# Key/file pairs of what the program serves: everything under the repository's
# webapps/ (as webapps/<relative path>), RequireJS and Tabulator when node_modules is
# there (as webapps/vendor/...), and the kit's own window page, bridge and styles (as
# __qor/<name>).
function(qor_default_web_assets out_var)
  set(pairs)
  set(root "${CMAKE_SOURCE_DIR}/webapps")
  if(IS_DIRECTORY "${root}")
    file(GLOB_RECURSE files LIST_DIRECTORIES false CONFIGURE_DEPENDS "${root}/*")
    list(SORT files)
    foreach(file ${files})
      file(RELATIVE_PATH rel "${root}" "${file}")
      # Dot files (.gitkeep, editor files) are not part of any page.
      # The bundle is made at build time (qor_page_bundle); a copy in the sources is stale.
      if(rel MATCHES "(^|/)\\." OR rel STREQUAL "DXInputFilterDisplay/FilterBundle.js")
        continue()
      endif()
      list(APPEND pairs "webapps/${rel}" "${file}")
    endforeach()
    if(IS_DIRECTORY "${root}/DXInputFilterDisplay")
      list(APPEND pairs "webapps/DXInputFilterDisplay/FilterBundle.js"
                "${CMAKE_BINARY_DIR}/web/FilterBundle.js")
    endif()
  endif()
  set(modules "${CMAKE_SOURCE_DIR}/node_modules")
  set(vendors
    "requirejs/require.js" "require.js")
  list(LENGTH vendors n)
  math(EXPR last "${n} - 1")
  foreach(i RANGE 0 ${last} 2)
    math(EXPR j "${i} + 1")
    list(GET vendors ${i} from)
    list(GET vendors ${j} name)
    if(EXISTS "${modules}/${from}")
      list(APPEND pairs "webapps/vendor/${name}" "${modules}/${from}")
    endif()
  endforeach()
  set(kit "${CMAKE_SOURCE_DIR}/host/DialogToolkit/web")
  file(GLOB kit_files LIST_DIRECTORIES false CONFIGURE_DEPENDS
       "${kit}/*.html" "${kit}/*.js" "${kit}/*.css")
  list(SORT kit_files)
  foreach(file ${kit_files})
    get_filename_component(name "${file}" NAME)
    list(APPEND pairs "__qor/${name}" "${file}")
  endforeach()
  set(${out_var} "${pairs}" PARENT_SCOPE)
endfunction()

# FilterBundle.js, the filter page's modules in one file, is made by node from the
# modules at build time, before target embeds or installs it.
function(qor_page_bundle target)
  set(bundle "${CMAKE_BINARY_DIR}/web/FilterBundle.js")
  set(page "${CMAKE_SOURCE_DIR}/webapps/DXInputFilterDisplay")
  if(NOT IS_DIRECTORY "${page}")
    return()
  endif()
  find_program(QOR_NODE NAMES node nodejs REQUIRED)
  file(GLOB_RECURSE modules LIST_DIRECTORIES false CONFIGURE_DEPENDS "${page}/*.js")
  list(FILTER modules EXCLUDE REGEX "/FilterBundle\\.js$")
  set(script "${CMAKE_SOURCE_DIR}/cmake/PageBundle.mjs")
  add_custom_command(OUTPUT "${bundle}"
                     COMMAND "${QOR_NODE}" "${script}" --out "${bundle}"
                     DEPENDS ${modules} "${script}"
                     COMMENT "Bundling the filter page's modules"
                     VERBATIM)
  target_sources(${target} PRIVATE "${bundle}")
endfunction()

# Generates the table's source from key/file pairs and adds it to target.
function(qor_embed_web_assets target)
  set(pairs ${ARGN})
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_web_assets.cpp")
  set(asm "")
  set(decls "")
  set(rows "")
  set(deps "")
  set(count 0)
  list(LENGTH pairs n)
  if(n GREATER 0)
    math(EXPR last "${n} - 1")
    foreach(i RANGE 0 ${last} 2)
      math(EXPR j "${i} + 1")
      list(GET pairs ${i} key)
      list(GET pairs ${j} file)
      qor_web_media_type("${file}" type)
      set(sym "qor_web_asset_${count}")
      # The path sits in an assembler string inside a C++ string.
      string(REPLACE "\\" "\\\\\\\\" quoted "${file}")
      string(REPLACE "\"" "\\\\\\\"" quoted "${quoted}")
      string(APPEND asm
        "    \".balign 16\\n\"\n"
        "    \".globl ${sym}\\n.hidden ${sym}\\n${sym}:\\n\"\n"
        "    \".incbin \\\"${quoted}\\\"\\n\"\n"
        "    \".globl ${sym}_end\\n.hidden ${sym}_end\\n${sym}_end:\\n\"\n"
        "    \".byte 0\\n\"\n")
      string(APPEND decls
        "extern const char ${sym}[] QOR_ASSET_SYMBOL;\n"
        "extern const char ${sym}_end[] QOR_ASSET_SYMBOL;\n")
      string(APPEND rows "    {\"${key}\", ${sym}, ${sym}_end, \"${type}\"},\n")
      list(APPEND deps "${file}")
      math(EXPR count "${count} + 1")
    endforeach()
  endif()

  set(text "// Generated by cmake/EmbedWebAssets.cmake from the files it names; do not edit.\n")
  string(APPEND text "#include \"DialogToolkit/src/QORWebAssetsEmbedded.h\"\n\n")
  if(count GREATER 0)
    string(APPEND text
      "#define QOR_ASSET_SYMBOL __attribute__((visibility(\"hidden\")))\n\n"
      "__asm__(\n"
      "    \".pushsection .rodata.qor_web_assets,\\\"a\\\",@progbits\\n\"\n"
      "${asm}"
      "    \".popsection\\n\");\n\n"
      "extern \"C\" {\n${decls}}\n\n"
      "namespace {\n"
      "const QOREmbeddedWebAsset kAssets[] = {\n${rows}};\n"
      "}  // namespace\n\n"
      "const QOREmbeddedWebAsset* QOREmbeddedWebAssets(size_t* count) {\n"
      "  *count = sizeof(kAssets) / sizeof(kAssets[0]);\n"
      "  return kAssets;\n"
      "}\n")
  else()
    string(APPEND text
      "const QOREmbeddedWebAsset* QOREmbeddedWebAssets(size_t* count) {\n"
      "  *count = 0;\n"
      "  return nullptr;\n"
      "}\n")
  endif()

  # Rewritten only when it changes, so a reconfigure rebuilds nothing by itself.
  set(old "")
  if(EXISTS "${out}")
    file(READ "${out}" old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE "${out}" "${text}")
  endif()
  target_sources(${target} PRIVATE "${out}")
  set_source_files_properties("${out}" PROPERTIES OBJECT_DEPENDS "${deps}")
endfunction()
