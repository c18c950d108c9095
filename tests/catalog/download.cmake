# The download worker and the main-thread dispatcher; also runs under ThreadSanitizer.
velmora_add_test(NAME test_download
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_downthread.cpp
  LIBS velmora_catalog
  LABELS threads)
