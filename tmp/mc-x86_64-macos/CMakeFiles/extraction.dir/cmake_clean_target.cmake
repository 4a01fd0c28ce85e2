file(REMOVE_RECURSE
  "libextraction.a"
)
