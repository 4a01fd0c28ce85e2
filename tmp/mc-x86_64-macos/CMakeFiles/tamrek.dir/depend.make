# Empty dependencies file for tamrek.
# This may be replaced when dependencies are built.
