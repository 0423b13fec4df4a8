# RapidJSON, header-only (Debian package rapidjson-dev). Only the library's own
# header folder goes on the include path: /usr/include as a whole would shadow
# MinGW's C library headers. On Windows, point POPSWAT_RAPIDJSON_INCLUDE_DIR at
# the folder that holds a copy of the "rapidjson" header folder.
set(POPSWAT_RAPIDJSON_INCLUDE_DIR "" CACHE PATH "Folder that contains the rapidjson/ header folder")
set(POPSWAT_RAPIDJSON_SYSTEM_HEADERS /usr/include/rapidjson CACHE PATH "RapidJSON headers installed by the system")

if(POPSWAT_RAPIDJSON_INCLUDE_DIR)
    set(popswat_rapidjson_include ${POPSWAT_RAPIDJSON_INCLUDE_DIR})
else()
    if(NOT EXISTS ${POPSWAT_RAPIDJSON_SYSTEM_HEADERS}/document.h)
        message(FATAL_ERROR "RapidJSON not found in ${POPSWAT_RAPIDJSON_SYSTEM_HEADERS}: install rapidjson-dev "
                            "(tools/install-deps.sh) or set POPSWAT_RAPIDJSON_INCLUDE_DIR")
    endif()
    # A folder of the build tree that holds nothing but a link to the library's headers.
    set(popswat_rapidjson_include ${CMAKE_BINARY_DIR}/rapidjson-include)
    file(MAKE_DIRECTORY ${popswat_rapidjson_include})
    if(NOT EXISTS ${popswat_rapidjson_include}/rapidjson/document.h)
        file(CREATE_LINK ${POPSWAT_RAPIDJSON_SYSTEM_HEADERS} ${popswat_rapidjson_include}/rapidjson
             SYMBOLIC COPY_ON_ERROR)
    endif()
endif()
if(NOT EXISTS ${popswat_rapidjson_include}/rapidjson/document.h)
    message(FATAL_ERROR "No rapidjson/document.h in ${popswat_rapidjson_include}")
endif()

add_library(popswat_rapidjson INTERFACE)
# SYSTEM: the library's own warnings do not drown ours.
target_include_directories(popswat_rapidjson SYSTEM INTERFACE ${popswat_rapidjson_include})
