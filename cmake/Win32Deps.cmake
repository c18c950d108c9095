# Libraries of the Windows build. mingw-w64 has zlib from Debian
# (libz-mingw-w64-dev); PCRE2, libzip and the single-header HTTP server come
# from the prefix scripts/build-win32-deps.sh fills, the JSON headers are
# Debian's own. Everything links statically.
#
# The windows (velmora.exe and the window tests) come with a Qt for Windows:
# VELMORA_WIN32_QT_PREFIX names the prefix scripts/build-win32-qt.sh made;
# without it only the core and velmora-tool.exe are built.
set(VELMORA_WIN32_QT_PREFIX "" CACHE PATH "Prefix of Qt for Windows (scripts/build-win32-qt.sh)")
if(VELMORA_WIN32_QT_PREFIX)
  if(NOT EXISTS "${VELMORA_WIN32_QT_PREFIX}/lib/cmake/Qt6/Qt6Config.cmake")
    message(FATAL_ERROR "No Qt for Windows in ${VELMORA_WIN32_QT_PREFIX}: run scripts/build-win32-qt.sh")
  endif()
  set(VELMORA_BUILD_GUI ON CACHE BOOL "" FORCE)
  # Another prefix (Qt built with other options) replaces the one found
  # before: forget where each of its packages was.
  if(NOT VELMORA_WIN32_QT_PREFIX STREQUAL VELMORA_WIN32_QT_PREFIX_FOUND)
    get_cmake_property(cached CACHE_VARIABLES)
    foreach(var ${cached})
      if(var MATCHES "^(Qt6|WrapOpenGL|WrapVulkanHeaders).*_DIR$")
        unset(${var} CACHE)
      endif()
    endforeach()
    set(VELMORA_WIN32_QT_PREFIX_FOUND "${VELMORA_WIN32_QT_PREFIX}" CACHE INTERNAL "")
  endif()
  list(APPEND CMAKE_PREFIX_PATH "${VELMORA_WIN32_QT_PREFIX}")
  list(APPEND CMAKE_FIND_ROOT_PATH "${VELMORA_WIN32_QT_PREFIX}")
  # Debian's own Qt of the same release runs moc, rcc and uic.
  set(QT_HOST_PATH "/usr" CACHE PATH "")
  set(QT_HOST_PATH_CMAKE_DIR "/usr/lib/${CMAKE_HOST_SYSTEM_PROCESSOR}-linux-gnu/cmake" CACHE PATH "")
else()
  set(VELMORA_BUILD_GUI OFF CACHE BOOL "" FORCE)
endif()
set(VELMORA_WIN32_PREFIX "${CMAKE_BINARY_DIR}/deps/prefix" CACHE PATH
    "Prefix of the Windows C libraries (scripts/build-win32-deps.sh)")
set(VELMORA_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources")
if(NOT EXISTS "${VELMORA_WIN32_PREFIX}/lib/pkgconfig/libzip.pc")
  message(FATAL_ERROR "No Windows libraries in ${VELMORA_WIN32_PREFIX}: run scripts/build-win32-deps.sh")
endif()

find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
set(ENV{PKG_CONFIG_LIBDIR} "${VELMORA_WIN32_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
list(APPEND CMAKE_FIND_ROOT_PATH "${VELMORA_WIN32_PREFIX}")
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
pkg_check_modules(PCRE2 REQUIRED IMPORTED_TARGET libpcre2-8)
# Static on Windows: the headers must not declare DLL imports.
target_compile_definitions(PkgConfig::LIBZIP INTERFACE ZIP_STATIC)
target_compile_definitions(PkgConfig::PCRE2 INTERFACE PCRE2_STATIC)
find_library(VELMORA_WIN32_ZLIB NAMES libz.a z REQUIRED)
target_link_libraries(PkgConfig::LIBZIP INTERFACE ${VELMORA_WIN32_ZLIB})
# libpng (the windows' PNG reader in platform/util), from the same prefix.
if(VELMORA_BUILD_GUI)
  add_library(PNG::PNG STATIC IMPORTED)
  set_target_properties(PNG::PNG PROPERTIES
    IMPORTED_LOCATION "${VELMORA_WIN32_PREFIX}/lib/libpng16.a"
    INTERFACE_INCLUDE_DIRECTORIES "${VELMORA_WIN32_PREFIX}/include")
  target_link_libraries(PNG::PNG INTERFACE ${VELMORA_WIN32_ZLIB})
endif()

add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json INTERFACE "${VELMORA_WIN32_PREFIX}/include")
add_library(PkgConfig::HTTPLIB INTERFACE IMPORTED)
target_include_directories(PkgConfig::HTTPLIB INTERFACE "${VELMORA_WIN32_PREFIX}/include")
target_link_libraries(PkgConfig::HTTPLIB INTERFACE ws2_32)

# GoogleTest from its sources, with the same compiler.
if(VELMORA_BUILD_TESTS)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${VELMORA_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
endif()
