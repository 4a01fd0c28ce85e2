file(REMOVE_RECURSE
  "CMakeFiles/platform.dir/platform/console_posix.cpp.o"
  "CMakeFiles/platform.dir/platform/console_posix.cpp.o.d"
  "CMakeFiles/platform.dir/platform/file_system_posix.cpp.o"
  "CMakeFiles/platform.dir/platform/file_system_posix.cpp.o.d"
  "CMakeFiles/platform.dir/platform/placing_pause.cpp.o"
  "CMakeFiles/platform.dir/platform/placing_pause.cpp.o.d"
  "CMakeFiles/platform.dir/platform/process_posix.cpp.o"
  "CMakeFiles/platform.dir/platform/process_posix.cpp.o.d"
  "libplatform.a"
  "libplatform.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/platform.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
