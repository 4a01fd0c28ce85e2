
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/extract/main.cpp" "CMakeFiles/tamrek.dir/extract/main.cpp.o" "gcc" "CMakeFiles/tamrek.dir/extract/main.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/main/tmp/mc-aarch64-macos/CMakeFiles/extraction.dir/DependInfo.cmake"
  "/work/main/tmp/mc-aarch64-macos/CMakeFiles/d88_image.dir/DependInfo.cmake"
  "/work/main/tmp/mc-aarch64-macos/CMakeFiles/platform.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
