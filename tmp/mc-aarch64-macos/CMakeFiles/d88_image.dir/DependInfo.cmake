
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/disk_image/buffered_file.cpp" "CMakeFiles/d88_image.dir/disk_image/buffered_file.cpp.o" "gcc" "CMakeFiles/d88_image.dir/disk_image/buffered_file.cpp.o.d"
  "/work/main/disk_image/d88_image.cpp" "CMakeFiles/d88_image.dir/disk_image/d88_image.cpp.o" "gcc" "CMakeFiles/d88_image.dir/disk_image/d88_image.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/main/tmp/mc-aarch64-macos/CMakeFiles/platform.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
