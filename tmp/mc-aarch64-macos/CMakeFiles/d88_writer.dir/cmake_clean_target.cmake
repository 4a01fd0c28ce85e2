file(REMOVE_RECURSE
  "libd88_writer.a"
)
