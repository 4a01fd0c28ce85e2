file(REMOVE_RECURSE
  "CMakeFiles/extraction.dir/extract/console.cpp.o"
  "CMakeFiles/extraction.dir/extract/console.cpp.o.d"
  "CMakeFiles/extraction.dir/extract/crc32.cpp.o"
  "CMakeFiles/extraction.dir/extract/crc32.cpp.o.d"
  "CMakeFiles/extraction.dir/extract/entry_read.cpp.o"
  "CMakeFiles/extraction.dir/extract/entry_read.cpp.o.d"
  "CMakeFiles/extraction.dir/extract/extraction_plan.cpp.o"
  "CMakeFiles/extraction.dir/extract/extraction_plan.cpp.o.d"
  "CMakeFiles/extraction.dir/extract/extraction_run.cpp.o"
  "CMakeFiles/extraction.dir/extract/extraction_run.cpp.o.d"
  "CMakeFiles/extraction.dir/extract/listing.cpp.o"
  "CMakeFiles/extraction.dir/extract/listing.cpp.o.d"
  "CMakeFiles/extraction.dir/extract/merge.cpp.o"
  "CMakeFiles/extraction.dir/extract/merge.cpp.o.d"
  "CMakeFiles/extraction.dir/extract/output_folder.cpp.o"
  "CMakeFiles/extraction.dir/extract/output_folder.cpp.o.d"
  "CMakeFiles/extraction.dir/extract/rescue_map.cpp.o"
  "CMakeFiles/extraction.dir/extract/rescue_map.cpp.o.d"
  "libextraction.a"
  "libextraction.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/extraction.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
