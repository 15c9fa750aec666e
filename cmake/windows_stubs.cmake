# The Windows stubs built from this source tree by the MinGW-w64 cross compilers, as external
# projects (stub-only builds under build/<dir>/stubs/<arch>), so that a build for another platform
# can embed them and test them.
#
# sfx_windows_stub_build(win32|win64) defines the target sfxstub_<arch>_build and the cache
# variable SFXKIT_<ARCH>_STUB_PATH (the finished stub). The win64 build also makes the sample
# setup program for Windows: SFXKIT_WIN64_SAMPLE_PATH.
include(ExternalProject)

function(sfx_windows_stub_build arch)
    if(arch STREQUAL "win32")
        set(toolchain ${PROJECT_SOURCE_DIR}/cmake/toolchain-mingw-i686.cmake)
    else()
        set(toolchain ${PROJECT_SOURCE_DIR}/cmake/toolchain-mingw-x86_64.cmake)
    endif()
    set(binary_dir ${CMAKE_BINARY_DIR}/stubs/${arch})
    set(stub_path ${binary_dir}/launcher/sfxstub-${arch}.exe)
    set(byproducts ${stub_path})
    if(arch STREQUAL "win64")
        set(sample_path ${binary_dir}/samples/sample-setup.exe)
        list(APPEND byproducts ${sample_path})
        set(SFXKIT_WIN64_SAMPLE_PATH ${sample_path}
            CACHE INTERNAL "The sample setup program built for 64-bit Windows")
    endif()
    ExternalProject_Add(sfxstub_${arch}_build
        SOURCE_DIR ${PROJECT_SOURCE_DIR}
        BINARY_DIR ${binary_dir}
        CMAKE_ARGS
            -DCMAKE_TOOLCHAIN_FILE=${toolchain}
            -DCMAKE_BUILD_TYPE=MinSizeRel
            -DSFXKIT_STUB_ONLY=ON
        INSTALL_COMMAND ""
        # The sources are this tree: let the inner build decide what is out of date.
        BUILD_ALWAYS ON
        BUILD_BYPRODUCTS ${byproducts})
    string(TOUPPER ${arch} upper)
    set(SFXKIT_${upper}_STUB_PATH ${stub_path} CACHE INTERNAL "The ${arch} Windows stub")
endfunction()
