# Installing libquillon for C and C++ users: the library in lib/ (where the loader and linkers
# look), its headers, quillon.pc and the CMake package; the Python package beside them. The
# library finds the runtime and the servers in their own folder, lib/quillon/, by its run path.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)
set(QUILLON_INSTALL_PYTHONDIR "${CMAKE_INSTALL_LIBDIR}/python3/dist-packages" CACHE STRING
    "Folder under the prefix for the Python package")

# Run paths: the library to the runtime's folder, the hosts there to the library; each keeps
# $ORIGIN, where the build tree has them all.
file(RELATIVE_PATH lib_to_pkgdir /prefix/${CMAKE_INSTALL_LIBDIR} /prefix/${QUILLON_INSTALL_PKGDIR})
file(RELATIVE_PATH pkgdir_to_lib /prefix/${QUILLON_INSTALL_PKGDIR} /prefix/${CMAKE_INSTALL_LIBDIR})
set_target_properties(libquillon PROPERTIES INSTALL_RPATH "$ORIGIN/${lib_to_pkgdir};$ORIGIN")
set(QUILLON_HOST_RPATH "$ORIGIN;$ORIGIN/${pkgdir_to_lib}" PARENT_SCOPE)

install(TARGETS libquillon EXPORT QuillonTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES include/quillon/quillon.h ${CMAKE_CURRENT_BINARY_DIR}/include/quillon/version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quillon)

# pkg-config: the prefix is found from the .pc file's own folder, so any prefix works.
file(RELATIVE_PATH pc_to_prefix /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
configure_file(quillon.pc.in ${CMAKE_CURRENT_BINARY_DIR}/quillon.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/quillon.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# CMake: find_package(Quillon 4.0) and Quillon::quillon, in C or C++ projects.
set(cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Quillon)
install(EXPORT QuillonTargets NAMESPACE Quillon:: DESTINATION ${cmake_dir})
configure_package_config_file(QuillonConfig.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/QuillonConfig.cmake
                              INSTALL_DESTINATION ${cmake_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/QuillonConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/QuillonConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/QuillonConfigVersion.cmake
        DESTINATION ${cmake_dir})

# The Python package, told where the library lies relative to it.
file(RELATIVE_PATH python_to_lib /prefix/${QUILLON_INSTALL_PYTHONDIR}/quillon
     /prefix/${CMAKE_INSTALL_LIBDIR})
set(QUILLON_SONAME libquillon.so.${PROJECT_VERSION_MAJOR})
configure_file(${PROJECT_SOURCE_DIR}/python/installed.py.in
               ${CMAKE_CURRENT_BINARY_DIR}/python/_installed.py @ONLY)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/quillon/ DESTINATION ${QUILLON_INSTALL_PYTHONDIR}/quillon
        FILES_MATCHING PATTERN "*.py" PATTERN "py.typed" PATTERN "__pycache__" EXCLUDE)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/python/_installed.py
        DESTINATION ${QUILLON_INSTALL_PYTHONDIR}/quillon)
