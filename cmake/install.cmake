# What `cmake --install` puts where (native builds), relative to the install prefix:
#
#   bin/sfxkit                      the tool (it embeds the stubs it was built with)
#   lib/sfxkit/sfxstub              the native stub
#   lib/sfxkit/sfxstub-win64.exe    the 64-bit Windows stub
#   lib/sfxkit/sfxstub-win32.exe    the 32-bit Windows stub
#   include/sfxkit_stamp.h          the stamp record for setup programs
#   share/man/man1/sfxkit.1.gz      the manual page (sfxkit.1 when gzip is missing)
#   share/doc/sfxkit/               README.md and the notes in docs/
#
# The stubs are installed as plain copies, never through install(TARGETS): each stores its own
# size as its payload offset, and `cmake --install --strip` (or CPack's CPACK_STRIP_FILES) would
# otherwise strip them and make that value wrong. The Windows stubs are data to Linux: mode 0644.
include(GNUInstallDirs)

set(SFXKIT_INSTALL_STUBDIR lib/sfxkit CACHE STRING
    "Where the stubs are installed, relative to the install prefix")

install(TARGETS sfxkit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT sfxkit)

if(DEFINED SFXKIT_NATIVE_STUB_TARGET AND TARGET ${SFXKIT_NATIVE_STUB_TARGET})
    install(PROGRAMS $<TARGET_FILE:${SFXKIT_NATIVE_STUB_TARGET}>
        DESTINATION ${SFXKIT_INSTALL_STUBDIR} COMPONENT sfxkit)
endif()
foreach(arch win64 win32)
    string(TOUPPER ${arch} upper)
    if(SFXKIT_${upper}_STUB_PATH)
        install(FILES ${SFXKIT_${upper}_STUB_PATH}
            DESTINATION ${SFXKIT_INSTALL_STUBDIR} COMPONENT sfxkit)
    endif()
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/include/sfxkit_stamp.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT sfxkit)

# The manual page, compressed as Debian installs manual pages (-n: no name or time stored, so the
# package is reproducible).
set(sfxkit_man_page ${PROJECT_SOURCE_DIR}/docs/sfxkit.1)
find_program(SFXKIT_GZIP gzip)
if(SFXKIT_GZIP)
    set(sfxkit_man_gz ${PROJECT_BINARY_DIR}/docs/sfxkit.1.gz)
    add_custom_command(OUTPUT ${sfxkit_man_gz}
        COMMAND ${CMAKE_COMMAND} -E copy ${sfxkit_man_page} ${PROJECT_BINARY_DIR}/docs/sfxkit.1
        COMMAND ${SFXKIT_GZIP} -9 -n -f ${PROJECT_BINARY_DIR}/docs/sfxkit.1
        DEPENDS ${sfxkit_man_page}
        COMMENT "Compressing the manual page"
        VERBATIM)
    add_custom_target(sfxkit_man_page ALL DEPENDS ${sfxkit_man_gz})
    install(FILES ${sfxkit_man_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT sfxkit)
else()
    install(FILES ${sfxkit_man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT sfxkit)
endif()

# The documentation: the README and whatever notes docs/ holds when the build is configured.
file(GLOB sfxkit_doc_notes CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${sfxkit_doc_notes}
    DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT sfxkit)
