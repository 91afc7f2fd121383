# One switch builds every target (libraries, programs, tests) with ASan and
# UBSan, so the whole suite can run once more under them.
if(FONTTOOLS_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
