
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/extract/console.cpp" "CMakeFiles/extraction.dir/extract/console.cpp.o" "gcc" "CMakeFiles/extraction.dir/extract/console.cpp.o.d"
  "/work/main/extract/crc32.cpp" "CMakeFiles/extraction.dir/extract/crc32.cpp.o" "gcc" "CMakeFiles/extraction.dir/extract/crc32.cpp.o.d"
  "/work/main/extract/entry_read.cpp" "CMakeFiles/extraction.dir/extract/entry_read.cpp.o" "gcc" "CMakeFiles/extraction.dir/extract/entry_read.cpp.o.d"
  "/work/main/extract/extraction_plan.cpp" "CMakeFiles/extraction.dir/extract/extraction_plan.cpp.o" "gcc" "CMakeFiles/extraction.dir/extract/extraction_plan.cpp.o.d"
  "/work/main/extract/extraction_run.cpp" "CMakeFiles/extraction.dir/extract/extraction_run.cpp.o" "gcc" "CMakeFiles/extraction.dir/extract/extraction_run.cpp.o.d"
  "/work/main/extract/listing.cpp" "CMakeFiles/extraction.dir/extract/listing.cpp.o" "gcc" "CMakeFiles/extraction.dir/extract/listing.cpp.o.d"
  "/work/main/extract/merge.cpp" "CMakeFiles/extraction.dir/extract/merge.cpp.o" "gcc" "CMakeFiles/extraction.dir/extract/merge.cpp.o.d"
  "/work/main/extract/output_folder.cpp" "CMakeFiles/extraction.dir/extract/output_folder.cpp.o" "gcc" "CMakeFiles/extraction.dir/extract/output_folder.cpp.o.d"
  "/work/main/extract/rescue_map.cpp" "CMakeFiles/extraction.dir/extract/rescue_map.cpp.o" "gcc" "CMakeFiles/extraction.dir/extract/rescue_map.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/main/tmp/mc-aarch64-macos/CMakeFiles/d88_image.dir/DependInfo.cmake"
  "/work/main/tmp/mc-aarch64-macos/CMakeFiles/platform.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
