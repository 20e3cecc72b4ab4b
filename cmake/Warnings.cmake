# Warnings every target of ours is built with; CI turns them into errors.
add_library(zumbel_warnings INTERFACE)
target_compile_options(zumbel_warnings INTERFACE -Wall -Wextra -Wshadow -Wnon-virtual-dtor
                       -Wold-style-cast -Wcast-align -Woverloaded-virtual -Wimplicit-fallthrough)
if(ZUMBEL_WERROR)
  target_compile_options(zumbel_warnings INTERFACE -Werror)
endif()
