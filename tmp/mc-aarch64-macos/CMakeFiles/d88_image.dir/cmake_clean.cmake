file(REMOVE_RECURSE
  "CMakeFiles/d88_image.dir/disk_image/buffered_file.cpp.o"
  "CMakeFiles/d88_image.dir/disk_image/buffered_file.cpp.o.d"
  "CMakeFiles/d88_image.dir/disk_image/d88_image.cpp.o"
  "CMakeFiles/d88_image.dir/disk_image/d88_image.cpp.o.d"
  "libd88_image.a"
  "libd88_image.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/d88_image.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
