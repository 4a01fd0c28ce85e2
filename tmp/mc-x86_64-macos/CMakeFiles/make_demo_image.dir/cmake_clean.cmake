file(REMOVE_RECURSE
  "CMakeFiles/make_demo_image.dir/tools/make_demo_image.cpp.o"
  "CMakeFiles/make_demo_image.dir/tools/make_demo_image.cpp.o.d"
  "make_demo_image"
  "make_demo_image.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/make_demo_image.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
