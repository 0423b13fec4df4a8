# RapidJSON, header-only, used by browsers/ alone. Where its headers come from,
# first found first:
#   POPSWAT_RAPIDJSON_INCLUDE_DIR  a folder that holds the rapidjson/ header folder;
#   an installed RapidJSON package (find_package CONFIG: vcpkg on Windows, for example);
#   POPSWAT_RAPIDJSON_SYSTEM_HEADERS, the system's rapidjson/ folder (Debian package rapidjson-dev).
# Only the library's own header folder goes on the include path, through a folder
# of the build tree that holds nothing but it: /usr/include as a whole would
# shadow MinGW's C library headers.
set(POPSWAT_RAPIDJSON_INCLUDE_DIR "" CACHE PATH "Folder that contains the rapidjson/ header folder")
set(POPSWAT_RAPIDJSON_SYSTEM_HEADERS /usr/include/rapidjson CACHE PATH "RapidJSON headers installed by the system")

set(popswat_rapidjson_include "")
if(POPSWAT_RAPIDJSON_INCLUDE_DIR)
    set(popswat_rapidjson_include ${POPSWAT_RAPIDJSON_INCLUDE_DIR})
else()
    find_package(RapidJSON CONFIG QUIET)
    # Older packages set RAPIDJSON_INCLUDE_DIRS, newer ones RapidJSON_INCLUDE_DIRS. A
    # package's include folder (vcpkg's, say) holds no C library headers: it is used as it is.
    foreach(folder IN LISTS RapidJSON_INCLUDE_DIRS RAPIDJSON_INCLUDE_DIRS)
        if(NOT popswat_rapidjson_include AND EXISTS ${folder}/rapidjson/document.h)
            set(popswat_rapidjson_include ${folder})
        endif()
    endforeach()
endif()
if(NOT popswat_rapidjson_include)
    if(NOT EXISTS ${POPSWAT_RAPIDJSON_SYSTEM_HEADERS}/document.h)
        message(FATAL_ERROR "RapidJSON not found: no package, and nothing in ${POPSWAT_RAPIDJSON_SYSTEM_HEADERS}; "
                            "install rapidjson-dev (tools/install-deps.sh) or set POPSWAT_RAPIDJSON_INCLUDE_DIR")
    endif()
    # A folder of the build tree that holds nothing but a link to the system's headers.
    set(popswat_rapidjson_include ${CMAKE_BINARY_DIR}/rapidjson-include)
    file(MAKE_DIRECTORY ${popswat_rapidjson_include})
    if(NOT EXISTS ${popswat_rapidjson_include}/rapidjson/document.h)
        file(CREATE_LINK ${POPSWAT_RAPIDJSON_SYSTEM_HEADERS} ${popswat_rapidjson_include}/rapidjson SYMBOLIC)
    endif()
endif()
if(NOT EXISTS ${popswat_rapidjson_include}/rapidjson/document.h)
    message(FATAL_ERROR "No rapidjson/document.h in ${popswat_rapidjson_include}")
endif()

add_library(popswat_rapidjson INTERFACE)
# SYSTEM: the library's own warnings do not drown ours.
target_include_directories(popswat_rapidjson SYSTEM INTERFACE ${popswat_rapidjson_include})
