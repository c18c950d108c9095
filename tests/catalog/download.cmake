# The download worker and the main-thread dispatcher; also runs under ThreadSanitizer.
velmora_add_test(NAME test_download
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_downthread.cpp
  LIBS velmora_catalog
  LABELS threads)
# `velmora-tool get` is driven as a user would run it.
add_dependencies(test_download velmora-tool)
target_compile_definitions(test_download PRIVATE VELMORA_TOOL="$<TARGET_FILE:velmora-tool>")
