
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/platform/console_posix.cpp" "CMakeFiles/platform.dir/platform/console_posix.cpp.o" "gcc" "CMakeFiles/platform.dir/platform/console_posix.cpp.o.d"
  "/work/main/platform/file_system_posix.cpp" "CMakeFiles/platform.dir/platform/file_system_posix.cpp.o" "gcc" "CMakeFiles/platform.dir/platform/file_system_posix.cpp.o.d"
  "/work/main/platform/placing_pause.cpp" "CMakeFiles/platform.dir/platform/placing_pause.cpp.o" "gcc" "CMakeFiles/platform.dir/platform/placing_pause.cpp.o.d"
  "/work/main/platform/process_posix.cpp" "CMakeFiles/platform.dir/platform/process_posix.cpp.o" "gcc" "CMakeFiles/platform.dir/platform/process_posix.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
