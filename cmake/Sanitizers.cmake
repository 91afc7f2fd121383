# One switch builds every target (libraries, programs, tests) with ASan and
# UBSan, so the whole suite can run once more under them. Any UBSan report
# aborts the test that caused it instead of scrolling past in its output.
if(FONTTOOLS_SANITIZE)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    message(FATAL_ERROR "FONTTOOLS_SANITIZE needs gcc or clang")
  endif()
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  # gcc 12's object-size analysis misreads ASan's instrumented vector code and
  # warns of memsets of 2^64 bytes that no path reaches; the plain build keeps
  # these warnings.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wno-stringop-overflow -Wno-array-bounds)
  endif()
endif()

# The fuzz build instruments every library for coverage as well as for ASan
# and UBSan; only the fuzz targets themselves link libFuzzer's main().
if(FONTTOOLS_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "FONTTOOLS_FUZZ needs clang: configure with CC=clang CXX=clang++")
  endif()
  if(FONTTOOLS_SANITIZE)
    message(FATAL_ERROR "FONTTOOLS_FUZZ already builds with ASan and UBSan; leave FONTTOOLS_SANITIZE off")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined
                      -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
