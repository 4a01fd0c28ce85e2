file(REMOVE_RECURSE
  "libd88_image.a"
)
