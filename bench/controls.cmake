if(VELMORA_BUILD_GUI)
  add_executable(bench_imaging ${CMAKE_CURRENT_LIST_DIR}/bench_imaging.cpp)
  target_link_libraries(bench_imaging PRIVATE velmora_controls)
endif()
