# Resources of the two programs: each has a resources.rc with its manifest and the shared
# version resource (resources/version_info.rc), whose numbers come from the project version.
# Windows versions have four numbers; a part the project version leaves out is 0.
set(POPSWAT_VERSION_PARTS)
foreach(part MAJOR MINOR PATCH TWEAK)
    if("${PROJECT_VERSION_${part}}" STREQUAL "")
        list(APPEND POPSWAT_VERSION_PARTS 0)
    else()
        list(APPEND POPSWAT_VERSION_PARTS ${PROJECT_VERSION_${part}})
    endif()
endforeach()
string(REPLACE ";" "," POPSWAT_VERSION_NUMBERS "${POPSWAT_VERSION_PARTS}")
string(REPLACE ";" "." POPSWAT_FILE_VERSION "${POPSWAT_VERSION_PARTS}")
configure_file(${PROJECT_SOURCE_DIR}/resources/version.h.in ${PROJECT_BINARY_DIR}/resources/version.h @ONLY)
add_library(popswat_version INTERFACE)
target_include_directories(popswat_version INTERFACE ${PROJECT_SOURCE_DIR}/resources ${PROJECT_BINARY_DIR}/resources)

# Adds a program's resources.rc with its manifest, made from <manifest>.in with the file
# version. windres reports no dependencies, so every file the script reads is listed here.
function(popswat_program_resources target manifest)
    configure_file(${manifest}.in ${manifest} @ONLY)
    target_sources(${target} PRIVATE resources.rc)
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
    target_link_libraries(${target} PRIVATE popswat_version)
    set(read ${CMAKE_CURRENT_BINARY_DIR}/${manifest} ${PROJECT_SOURCE_DIR}/resources/version_info.rc
             ${PROJECT_BINARY_DIR}/resources/version.h ${ARGN})
    set_source_files_properties(resources.rc PROPERTIES OBJECT_DEPENDS "${read}")
    # The MSVC linker would embed a manifest of its own, a second resource of the same id.
    if(MSVC)
        target_link_options(${target} PRIVATE /MANIFEST:NO)
    endif()
endfunction()
