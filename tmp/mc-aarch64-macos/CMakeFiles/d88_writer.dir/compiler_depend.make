# Empty compiler generated dependencies file for d88_writer.
# This may be replaced when dependencies are built.
