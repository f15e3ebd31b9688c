# One warning set for every target of the project.
add_library(vantorel_warnings INTERFACE)
target_compile_options(vantorel_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow
                                                   -Wnon-virtual-dtor -Wcast-align)
if(VANTOREL_WERROR)
    target_compile_options(vantorel_warnings INTERFACE -Werror)
endif()
