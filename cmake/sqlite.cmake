# SQLite, compiled into both programs: PopSwat reads (and later changes) the
# databases browsers keep their settings in. Where it comes from, first found first:
#   POPSWAT_SQLITE_SOURCE_DIR, a folder holding the amalgamation (sqlite3.c and
#     sqlite3.h): on Debian tools/fetch-sqlite.sh makes it in deps/sqlite from
#     Debian's own source package;
#   an installed package (vcpkg's sqlite3 port on Windows: vcpkg.json).
# Either way the target popswat_sqlite gives sqlite3.h and the library; only
# base/sqlite_database.cpp of the product includes it.
set(POPSWAT_SQLITE_SOURCE_DIR ${PROJECT_SOURCE_DIR}/deps/sqlite
    CACHE PATH "Folder that holds SQLite's amalgamation, sqlite3.c and sqlite3.h")

if(EXISTS ${POPSWAT_SQLITE_SOURCE_DIR}/sqlite3.c AND EXISTS ${POPSWAT_SQLITE_SOURCE_DIR}/sqlite3.h)
    add_library(popswat_sqlite STATIC ${POPSWAT_SQLITE_SOURCE_DIR}/sqlite3.c)
    # SYSTEM: the library's own warnings do not drown ours.
    target_include_directories(popswat_sqlite SYSTEM PUBLIC ${POPSWAT_SQLITE_SOURCE_DIR})
    target_compile_definitions(popswat_sqlite PRIVATE
        # A review and a cleanup run can work on two threads at once, each with its
        # own connection, and no connection is ever shared between threads: 2
        # ("multi-thread") keeps SQLite's global state (allocator, page cache, the
        # Windows file and lock tables) behind mutexes and leaves out the
        # per-connection ones that only sharing a connection would need. 0 would
        # let two threads corrupt that global state.
        SQLITE_THREADSAFE=2
        # Nothing is loaded from a database: no extensions (no DLL named by a
        # hostile file is ever loaded), no JSON functions, no shared cache, no
        # deprecated calls, no memory statistics.
        SQLITE_OMIT_LOAD_EXTENSION
        SQLITE_OMIT_JSON
        SQLITE_OMIT_SHARED_CACHE
        SQLITE_OMIT_DEPRECATED
        SQLITE_DEFAULT_MEMSTATUS=0
        # Sorting and temporary tables stay in memory: no file under %TEMP%.
        SQLITE_TEMP_STORE=3
        # Wide-character Windows calls only; file names are passed as UTF-8.
        SQLITE_WIN32_NO_ANSI)
    if(NOT MSVC)
        # -O2, as SQLite's own builds: -O3 takes a third longer for a larger, no faster library.
        target_compile_options(popswat_sqlite PRIVATE -w $<$<CONFIG:Release>:-O2>)
    endif()
    file(STRINGS ${POPSWAT_SQLITE_SOURCE_DIR}/sqlite3.h popswat_sqlite_version_line
         REGEX "^#define SQLITE_VERSION +\"")
    message(STATUS "SQLite: the amalgamation in ${POPSWAT_SQLITE_SOURCE_DIR} (${popswat_sqlite_version_line})")
else()
    find_package(unofficial-sqlite3 CONFIG QUIET)
    if(NOT TARGET unofficial::sqlite3::sqlite3)
        message(FATAL_ERROR "SQLite not found: no sqlite3.c and sqlite3.h in ${POPSWAT_SQLITE_SOURCE_DIR} "
                            "(tools/install-deps.sh makes them on Debian) and no sqlite3 package (vcpkg.json)")
    endif()
    add_library(popswat_sqlite INTERFACE)
    target_link_libraries(popswat_sqlite INTERFACE unofficial::sqlite3::sqlite3)
    message(STATUS "SQLite: the installed package unofficial-sqlite3")
endif()
