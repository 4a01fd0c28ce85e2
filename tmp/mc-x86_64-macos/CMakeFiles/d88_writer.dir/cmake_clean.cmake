file(REMOVE_RECURSE
  "CMakeFiles/d88_writer.dir/tools/d88_writer.cpp.o"
  "CMakeFiles/d88_writer.dir/tools/d88_writer.cpp.o.d"
  "libd88_writer.a"
  "libd88_writer.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/d88_writer.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
