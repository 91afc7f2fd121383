# Warnings for the project's own code. Product code is also held to explicit
# signed/unsigned conversions; test code is not, because GoogleTest's
# comparison macros would drown the useful warnings.
add_library(project_warnings INTERFACE)
target_compile_options(project_warnings INTERFACE -Wall -Wextra -Wshadow -Wnon-virtual-dtor)

add_library(product_warnings INTERFACE)
target_link_libraries(product_warnings INTERFACE project_warnings)
target_compile_options(product_warnings INTERFACE -Wsign-conversion)
