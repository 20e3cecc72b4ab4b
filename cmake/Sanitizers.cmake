# -DZUMBEL_SANITIZE=address,undefined (or thread) instruments everything in the build.
if(ZUMBEL_SANITIZE)
  add_compile_options(-fsanitize=${ZUMBEL_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${ZUMBEL_SANITIZE})
  # Checked standard containers: an index past an array aborts instead of reading quietly.
  add_compile_definitions(_GLIBCXX_ASSERTIONS)
endif()
