# One warning set for every target of the project.
add_library(vantorel_warnings INTERFACE)
target_compile_options(vantorel_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow
                                                   -Wnon-virtual-dtor -Wcast-align)
if(VANTOREL_WERROR)
    target_compile_options(vantorel_warnings INTERFACE -Werror)
endif()

# The program's own code (core, tray, options, about, app) is built without exceptions: it
# catches none, and the exception runtime would bring the thread library into the program
# with it (see app/lean_runtime.cpp). Tests and tools keep them.
add_library(vantorel_no_exceptions INTERFACE)
target_compile_options(vantorel_no_exceptions INTERFACE -fno-exceptions)
