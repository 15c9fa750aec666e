# The Debian package (CPack's DEB generator) of what cmake/install.cmake installs, under /usr:
# `cpack -G DEB` in the build directory (or `cmake --build <dir> --target package`) writes
# sfxkit_<version>_<arch>.deb there. The dependencies come from dpkg-shlibdeps when it is
# installed, else they are the C and C++ runtimes named by hand. sfxkit is stripped in the package;
# the stubs are never stripped (see cmake/install.cmake).
set(SFXKIT_PACKAGE_MAINTAINER "sfxkit maintainers <maintainers@sfxkit.invalid>" CACHE STRING
    "The Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sfxkit)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${SFXKIT_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "self-extracting setup launchers for Windows")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${SFXKIT_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
# CPack's description: the summary line, then the long text (each line indented by one space).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "self-extracting setup launchers for Windows
 sfxkit builds self-extracting setup packages: a small Windows stub that
 unpacks an appended archive into the temporary directory, runs the setup
 program, waits for it and deletes what it unpacked. The sfxkit tool packs,
 lists, verifies, extracts and re-stamps such packages. The package holds the
 tool, the native and the Windows (32- and 64-bit) stubs, the header that
 setup programs use to read their stamp, and the manual page.")

find_program(SFXKIT_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(SFXKIT_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
endif()

# `cpack --config CPackSourceConfig.cmake`: the sources without builds or version control.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/build/" "/\\\\.git/" "__pycache__")

include(CPack)
