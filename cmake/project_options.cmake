# Compiler settings shared by every target of the project's own code.

# Warnings as errors on our code (third-party code such as GoogleTest is built without these).
add_library(sfx_warnings INTERFACE)
target_compile_options(sfx_warnings INTERFACE -Wall -Wextra -Wshadow -Wpedantic -Werror)

# The stub's code: no C++ runtime, no exceptions, no RTTI. It is plain procedural code and is
# linked unchanged into the tool and the tests.
add_library(sfx_stub_options INTERFACE)
target_compile_options(sfx_stub_options INTERFACE -fno-exceptions -fno-rtti)
target_include_directories(sfx_stub_options INTERFACE ${PROJECT_SOURCE_DIR})
target_link_libraries(sfx_stub_options INTERFACE sfx_warnings)
if(WIN32)
    # Built for size: the stub must stay small once it carries its resources. No -fdata-sections:
    # MinGW's GCC then puts zero-initialised arrays into .data$ sections, stored in the file,
    # instead of .bss.
    target_compile_options(sfx_stub_options INTERFACE -Os -ffunction-sections)
endif()

# The tool's code: modern C++ with the standard library.
add_library(sfx_tool_options INTERFACE)
target_include_directories(sfx_tool_options INTERFACE ${PROJECT_SOURCE_DIR})
target_link_libraries(sfx_tool_options INTERFACE sfx_warnings)
# GCC 12 reports std::vector inserts of inlined buffers as over-reads (a known false positive).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(sfx_tool_options INTERFACE -Wno-stringop-overread -Wno-stringop-overflow)
endif()

if(WIN32)
    # Windows programs built here run under Wine or on a bare Windows: link the GCC runtime in.
    add_link_options(-static -static-libgcc -static-libstdc++)
endif()
