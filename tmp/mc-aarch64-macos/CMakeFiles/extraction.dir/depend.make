# Empty dependencies file for extraction.
# This may be replaced when dependencies are built.
