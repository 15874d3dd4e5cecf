# The servers once more at the next version, the third field of the project's raised, for the
# installer's upgrade test (Windows Installer compares three fields): the same objects linked
# with a version resource of that version, into bin/next/, where packaging/windows/ takes
# the 32-bit build's from.
math(EXPR next_patch "${PROJECT_VERSION_PATCH} + 1")
set(QUILLON_NEXT_VERSION
    "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${next_patch}.${PROJECT_VERSION_TWEAK}")
set(QUILLON_NEXT_VERSION_BIN ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/next)

# The version header the resources include, at the next version.
function(quillon_next_version_header directory)
    set(PROJECT_VERSION ${QUILLON_NEXT_VERSION})
    set(PROJECT_VERSION_PATCH ${next_patch})
    configure_file(${PROJECT_SOURCE_DIR}/component/contract/QuillonVersion.h.in
                   ${directory}/component/contract/QuillonVersion.h @ONLY)
endfunction()
set(next_generated ${CMAKE_CURRENT_BINARY_DIR}/next-version)
quillon_next_version_header(${next_generated})

get_property(servers GLOBAL PROPERTY QUILLON_INPROC_SERVERS)
foreach(server IN LISTS servers)
    get_target_property(resources ${server} QUILLON_RESOURCES)
    get_target_property(exports ${server} QUILLON_EXPORTS)
    add_library(${server}Next SHARED
        $<FILTER:$<TARGET_OBJECTS:${server}>,EXCLUDE,\\.rc\\.res$>
        ${resources} ${exports})
    target_link_libraries(${server}Next PRIVATE $<TARGET_PROPERTY:${server},LINK_LIBRARIES>)
    # Ahead of the generated header that the linked libraries bring.
    target_include_directories(${server}Next BEFORE PRIVATE ${next_generated})
    set_target_properties(${server}Next PROPERTIES
        OUTPUT_NAME ${server}
        PREFIX ""
        RUNTIME_OUTPUT_DIRECTORY ${QUILLON_NEXT_VERSION_BIN}
        ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/next)
    # The resources name the type library the server's build compiles.
    add_dependencies(${server}Next ${server})
endforeach()
