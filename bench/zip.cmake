add_executable(bench_zip ${CMAKE_CURRENT_LIST_DIR}/bench_zip.cpp)
target_link_libraries(bench_zip PRIVATE velmora_install PkgConfig::LIBZIP)
