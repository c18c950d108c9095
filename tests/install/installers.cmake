# The ZIP facility and the installers, against the simulated Windows.
velmora_add_test(NAME test_installers
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ZipFixture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_zip.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_cursor_scheme.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_installers.cpp
  LIBS velmora_install PkgConfig::LIBZIP)

# velmora-tool package, run as a program.
velmora_add_test(NAME test_tool_package
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ZipFixture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_tool_package.cpp
  LIBS PkgConfig::LIBZIP nlohmann_json::nlohmann_json)
target_compile_definitions(test_tool_package PRIVATE VELMORA_TOOL="$<TARGET_FILE:velmora-tool>")
add_dependencies(test_tool_package velmora-tool)
