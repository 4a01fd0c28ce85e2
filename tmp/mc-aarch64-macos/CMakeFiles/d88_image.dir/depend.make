# Empty dependencies file for d88_image.
# This may be replaced when dependencies are built.
