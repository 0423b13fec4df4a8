# What starts a browser with a web page: the Windows plumbing it needs (base/),
# the finders (browsers/launcher_*.cpp) and the repair of browser shortcuts
# (engine/shortcut_repair.cpp).
add_library(popswat_launch_sources STATIC
    ${PROJECT_SOURCE_DIR}/base/com_support.cpp
    ${PROJECT_SOURCE_DIR}/base/registry_values.cpp
    ${PROJECT_SOURCE_DIR}/base/scheduled_tasks.cpp
    ${PROJECT_SOURCE_DIR}/base/shortcut_files.cpp
    ${PROJECT_SOURCE_DIR}/base/small_text_files.cpp
)
target_include_directories(popswat_launch_sources PUBLIC ${PROJECT_SOURCE_DIR})
# Windows system libraries only: COM, the shell, the registry.
target_link_libraries(popswat_launch_sources PUBLIC popswat_engine ole32 oleaut32 shell32 advapi32 uuid)

add_library(popswat_launchers STATIC
    ${PROJECT_SOURCE_DIR}/browsers/launcher_command_line.cpp
    ${PROJECT_SOURCE_DIR}/browsers/launcher_files.cpp
    ${PROJECT_SOURCE_DIR}/browsers/launcher_registry.cpp
    ${PROJECT_SOURCE_DIR}/browsers/launcher_rules.cpp
    ${PROJECT_SOURCE_DIR}/browsers/launcher_sources.cpp
    ${PROJECT_SOURCE_DIR}/browsers/launcher_tasks.cpp
    ${PROJECT_SOURCE_DIR}/browsers/launcher_triggers.cpp
)
target_link_libraries(popswat_launchers PUBLIC popswat_launch_sources)

add_library(popswat_shortcut_repair STATIC ${PROJECT_SOURCE_DIR}/engine/shortcut_repair.cpp)
target_link_libraries(popswat_shortcut_repair PUBLIC popswat_launchers)
