# Installation, desktop integration, the `uninstall` target and the Debian package.
#
# The program reads its data from its working directory, so it goes in a
# private directory and the `zimbalo` command is a small launcher that enters
# the data directory and runs it there. The launcher finds both relative to
# its own place, so an installed (or DESTDIR-staged) tree works wherever it is.
include(GNUInstallDirs)

set(ZIMBALO_ID io.github.zimbalo.Zimbalo)
set(ZIMBALO_DATE 2026-12-06)  # of this release, as in the metainfo file
set(ZIMBALO_BINDIR ${CMAKE_INSTALL_BINDIR} CACHE STRING
    "Where the zimbalo command goes, relative to the prefix (Debian: games)")
set(ZIMBALO_LIBEXECDIR ${CMAKE_INSTALL_LIBEXECDIR}/zimbalo CACHE STRING
    "The program's private directory, relative to the prefix")
set(ZIMBALO_DATADIR ${CMAKE_INSTALL_DATADIR}/zimbalo CACHE STRING
    "The data files' directory, relative to the prefix (Debian: share/games/zimbalo)")
option(ZIMBALO_DEBIAN "Follow Debian's policy: compressed manual, copyright and changelog" OFF)

# The launcher, with the paths from its directory to the data and the program.
function(zimbalo_absolute out dir)
    get_filename_component(path "${dir}" ABSOLUTE BASE_DIR "${CMAKE_INSTALL_PREFIX}")
    set(${out} "${path}" PARENT_SCOPE)
endfunction()
zimbalo_absolute(bin_path "${ZIMBALO_BINDIR}")
zimbalo_absolute(data_path "${ZIMBALO_DATADIR}")
zimbalo_absolute(libexec_path "${ZIMBALO_LIBEXECDIR}")
file(RELATIVE_PATH ZIMBALO_BIN_TO_DATA "${bin_path}" "${data_path}")
file(RELATIVE_PATH ZIMBALO_BIN_TO_PROGRAM "${bin_path}" "${libexec_path}/zimbalo")
if(ZIMBALO_BIN_TO_DATA STREQUAL "")
    set(ZIMBALO_BIN_TO_DATA .)
endif()
configure_file(${CMAKE_SOURCE_DIR}/dist/zimbalo.sh.in ${CMAKE_BINARY_DIR}/dist/zimbalo @ONLY)

set(icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
set(mandir ${CMAKE_INSTALL_MANDIR}/man6)
set(dirs ${ZIMBALO_BINDIR} ${ZIMBALO_LIBEXECDIR} ${ZIMBALO_DATADIR}
    ${CMAKE_INSTALL_DATADIR}/applications ${CMAKE_INSTALL_DATADIR}/metainfo
    ${icons}/64x64/apps ${icons}/128x128/apps ${icons}/256x256/apps
    ${icons}/scalable/apps ${mandir})
if(ZIMBALO_DEBIAN)
    list(APPEND dirs ${CMAKE_INSTALL_DOCDIR} ${CMAKE_INSTALL_DATADIR}/lintian/overrides)
endif()

# First of all, note which of our directories this install creates, so that
# `uninstall` removes those (once empty) and no others. A directory noted by
# an earlier install stays noted while it exists.
install(CODE "set(ZIMBALO_DIRS \"${dirs}\")
set(ZIMBALO_DIRS_RECORD \"${CMAKE_BINARY_DIR}/install_dirs.txt\")")
install(CODE [[
set(created)
if(EXISTS "${ZIMBALO_DIRS_RECORD}")
    file(STRINGS "${ZIMBALO_DIRS_RECORD}" noted)
    foreach(d IN LISTS noted)
        if(IS_DIRECTORY "${d}")
            list(APPEND created "${d}")
        endif()
    endforeach()
endif()
foreach(dir IN LISTS ZIMBALO_DIRS)
    get_filename_component(d "${dir}" ABSOLUTE BASE_DIR "${CMAKE_INSTALL_PREFIX}")
    get_filename_component(d "$ENV{DESTDIR}${d}" ABSOLUTE)
    while(NOT EXISTS "${d}")
        list(APPEND created "${d}")
        get_filename_component(d "${d}" DIRECTORY)
    endwhile()
endforeach()
list(REMOVE_DUPLICATES created)
string(REPLACE ";" "\n" created "${created}")
file(WRITE "${ZIMBALO_DIRS_RECORD}" "${created}\n")
]])

install(PROGRAMS ${CMAKE_BINARY_DIR}/dist/zimbalo DESTINATION ${ZIMBALO_BINDIR})
install(TARGETS zimbalo RUNTIME DESTINATION ${ZIMBALO_LIBEXECDIR})
list(TRANSFORM ZIMBALO_DATA PREPEND ${CMAKE_SOURCE_DIR}/data/ OUTPUT_VARIABLE data_files)
install(FILES ${data_files} DESTINATION ${ZIMBALO_DATADIR})
install(FILES ${CMAKE_SOURCE_DIR}/dist/${ZIMBALO_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/dist/${ZIMBALO_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 64 128 256)
    install(FILES ${CMAKE_SOURCE_DIR}/dist/icons/${size}x${size}/${ZIMBALO_ID}.png
        DESTINATION ${icons}/${size}x${size}/apps)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/dist/icons/scalable/${ZIMBALO_ID}.svg
    DESTINATION ${icons}/scalable/apps)
if(ZIMBALO_DEBIAN)
    # The compiler's signature in .comment is of no use in a package.
    add_custom_command(TARGET zimbalo POST_BUILD
        COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment $<TARGET_FILE:zimbalo>)
    install(FILES ${CMAKE_SOURCE_DIR}/dist/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME zimbalo)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/dist/changelog.gz
        COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/dist/changelog > ${CMAKE_BINARY_DIR}/dist/changelog.gz
        DEPENDS ${CMAKE_SOURCE_DIR}/dist/changelog)
    add_custom_target(zimbalo_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/dist/changelog.gz)
    install(FILES ${CMAKE_SOURCE_DIR}/dist/copyright ${CMAKE_BINARY_DIR}/dist/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# The manual names the installed paths: it is filled in at install time, when
# the prefix is final (`cmake --install --prefix`, CPack).
install(CODE "set(ZIMBALO_MAN_IN \"${CMAKE_SOURCE_DIR}/dist/zimbalo.6.in\")
set(ZIMBALO_MAN \"${CMAKE_BINARY_DIR}/dist/zimbalo.6\")
set(ZIMBALO_MAN_DIR \"${mandir}\")
set(ZIMBALO_MAN_GZIP ${ZIMBALO_DEBIAN})
set(ZIMBALO_VERSION \"${PROJECT_VERSION}\")
set(ZIMBALO_DATE \"${ZIMBALO_DATE}\")
set(ZIMBALO_LAUNCHER \"${ZIMBALO_BINDIR}/zimbalo\")
set(ZIMBALO_PROGRAM \"${ZIMBALO_LIBEXECDIR}/zimbalo\")
set(ZIMBALO_DATA_PATH \"${ZIMBALO_DATADIR}\")")
install(CODE [[
foreach(var ZIMBALO_LAUNCHER ZIMBALO_PROGRAM ZIMBALO_DATA_PATH ZIMBALO_MAN_DIR)
    get_filename_component(${var} "${${var}}" ABSOLUTE BASE_DIR "${CMAKE_INSTALL_PREFIX}")
endforeach()
configure_file("${ZIMBALO_MAN_IN}" "${ZIMBALO_MAN}" @ONLY)
if(ZIMBALO_MAN_GZIP)
    execute_process(COMMAND gzip -9nc "${ZIMBALO_MAN}" OUTPUT_FILE "${ZIMBALO_MAN}.gz"
        RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "cannot compress ${ZIMBALO_MAN}")
    endif()
    set(ZIMBALO_MAN "${ZIMBALO_MAN}.gz")
endif()
file(INSTALL DESTINATION "${ZIMBALO_MAN_DIR}" TYPE FILE FILES "${ZIMBALO_MAN}")
]])

# `uninstall`: removes the files that the last install listed in its manifest.
add_custom_target(uninstall
    COMMAND ${CMAKE_COMMAND} -DMANIFEST=${CMAKE_BINARY_DIR}/install_manifest.txt
        -DDIRS=${CMAKE_BINARY_DIR}/install_dirs.txt -P ${CMAKE_CURRENT_LIST_DIR}/Uninstall.cmake
    VERBATIM)

# The Debian package: `cpack -G DEB` in a tree configured with -C dist/deb.cmake.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zimbalo)
set(CPACK_PACKAGE_VENDOR "The Zimbalo developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "reflex game: click the bouncing target")
set(CPACK_PACKAGE_DESCRIPTION
"A coloured target bounces diagonally across a window as large as the
desktop; click it to score, and a new target of random colour, size and
direction takes its place. Play timed games or free games, at one of
four difficulties.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Zimbalo developers <zimbalo@example.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
