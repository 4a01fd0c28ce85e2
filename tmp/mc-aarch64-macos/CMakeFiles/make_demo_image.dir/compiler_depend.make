# Empty compiler generated dependencies file for make_demo_image.
# This may be replaced when dependencies are built.
