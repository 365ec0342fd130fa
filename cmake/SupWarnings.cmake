# Strict warnings for the project's own targets: link `sup_warnings` privately.
add_library(sup_warnings INTERFACE)
target_compile_options(sup_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual)
if(SUP_WERROR)
    target_compile_options(sup_warnings INTERFACE -Werror)
endif()
