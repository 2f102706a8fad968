# Undoes `cmake --install`: cmake -DMANIFEST=<install_manifest.txt> -DDIRS=<install_dirs.txt> -P Uninstall.cmake
#
# Removes each file that the install listed in its manifest (under $DESTDIR,
# as the install put them), then those of the directories that the install
# created (noted in DIRS, DESTDIR included) that are now empty. Nothing else
# is touched.
if(NOT EXISTS "${MANIFEST}")
    message(FATAL_ERROR "nothing to uninstall: ${MANIFEST} is missing; install first")
endif()
file(STRINGS "${MANIFEST}" files)
foreach(f IN LISTS files)
    set(f "$ENV{DESTDIR}${f}")
    if(EXISTS "${f}" OR IS_SYMLINK "${f}")
        message(STATUS "Removing: ${f}")
        file(REMOVE "${f}")
        if(EXISTS "${f}" OR IS_SYMLINK "${f}")
            message(FATAL_ERROR "cannot remove ${f}")
        endif()
    else()
        message(STATUS "Already gone: ${f}")
    endif()
endforeach()

if(EXISTS "${DIRS}")
    file(STRINGS "${DIRS}" dirs)
    # In descending order a directory comes after everything inside it.
    list(SORT dirs ORDER DESCENDING)
    set(kept)
    foreach(d IN LISTS dirs)
        if(IS_DIRECTORY "${d}")
            # rmdir removes only an empty directory.
            execute_process(COMMAND rmdir -- "${d}" RESULT_VARIABLE failed ERROR_QUIET)
            if(failed)
                list(APPEND kept "${d}")
            else()
                message(STATUS "Removing directory: ${d}")
            endif()
        endif()
    endforeach()
    list(SORT kept)
    string(REPLACE ";" "\n" kept "${kept}")
    file(WRITE "${DIRS}" "${kept}\n")
endif()
