# The same commit built twice, in two different folders, gives the same program bytes, so anyone can check that a
# download was built from this source (tools/release.sh).
if(MINGW)
    # The PE header's time stamp would otherwise be the link time; 0 also leaves the header checksum constant.
    add_link_options(-Wl,--no-insert-timestamp)
    # __FILE__ and debug information name paths relative to the source and build folders, not where they lie.
    add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/= -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
elseif(MSVC)
    # Link and compile without time stamps; the image's time stamp field becomes a hash of its contents.
    add_compile_options(/Brepro)
    add_link_options(/Brepro)
endif()
