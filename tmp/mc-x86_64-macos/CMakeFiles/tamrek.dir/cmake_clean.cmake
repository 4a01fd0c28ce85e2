file(REMOVE_RECURSE
  "CMakeFiles/tamrek.dir/extract/main.cpp.o"
  "CMakeFiles/tamrek.dir/extract/main.cpp.o.d"
  "tamrek"
  "tamrek.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/tamrek.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
