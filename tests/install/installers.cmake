# The ZIP facility and the installers, against the simulated Windows.
velmora_add_test(NAME test_installers
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ZipFixture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_zip.cpp
  LIBS velmora_install PkgConfig::LIBZIP)
