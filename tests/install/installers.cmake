# The ZIP facility and the installers, against the simulated Windows.
velmora_add_test(NAME test_installers
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ZipFixture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_zip.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_cursor_scheme.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_installers.cpp
  LIBS velmora_install PkgConfig::LIBZIP)
