if(NOT WIN32)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

# velmora_add_test(NAME name SOURCES ... LIBS ... [LABELS ...] [GUI] [OWN_MAIN])
# One GoogleTest executable per area; every case becomes a CTest test.
# GUI tests run on the offscreen platform. Label "threads" marks the tests
# that the ThreadSanitizer build runs. OWN_MAIN: one of the sources defines
# main() (to make a QApplication first); otherwise GoogleTest's main is used.
function(velmora_add_test)
  cmake_parse_arguments(T "GUI;OWN_MAIN" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} velmora_testsupport GTest::gtest)
  if(NOT T_OWN_MAIN)
    target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main)
  endif()
  # Windows builds run their suites under Wine (scripts/test-win32.sh), from
  # the list in win32-tests.txt, not through CTest.
  # Window tests are listed apart: only builds with Qt for Windows have them.
  if(WIN32)
    if(T_GUI)
      set_property(GLOBAL APPEND PROPERTY VELMORA_WIN32_GUI_TESTS ${T_NAME})
    else()
      set_property(GLOBAL APPEND PROPERTY VELMORA_WIN32_TESTS ${T_NAME})
    endif()
    return()
  endif()
  # An empty LABELS value would vanish when the list is expanded and take the
  # next property name as its value.
  set(props "")
  if(T_LABELS)
    set(props LABELS "${T_LABELS}")
  endif()
  if(T_GUI)
    list(APPEND props ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
  # Qt, GLib and the test HTTP server's library are not built with the
  # sanitizer: their own internals are suppressed (tests/tsan.supp).
  if(VELMORA_SANITIZE STREQUAL "thread")
    list(APPEND props ENVIRONMENT_MODIFICATION
         "TSAN_OPTIONS=string_append: suppressions=${CMAKE_SOURCE_DIR}/tests/tsan.supp")
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()
