# `cmake --install`: the engine library with its public headers, a CMake package
# (find_package(tarndb CONFIG) gives tarndb::tarndb) and tarndb.pc for pkg-config.
# The programs install themselves (tools/, app/). Components, one per Debian package:
#   dev   library archive / link name, headers, CMake package, pkg-config file
#   lib   the shared library's run-time file (only with BUILD_SHARED_LIBS)
#   tool  the tarndb command-line tool, its man page and the manuals it names
#   app   filever, its menu entry, its icon and its man page
include(CMakePackageConfigHelpers)

set(TARNDB_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/tarndb)

add_library(tarndb::tarndb ALIAS tarndb)
set_target_properties(tarndb PROPERTIES
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    EXPORT_NAME tarndb)
# Only programs get a RUNPATH (see the top CMakeLists.txt): the library's own dependencies
# are system libraries.
set_target_properties(tarndb PROPERTIES INSTALL_RPATH "")
target_include_directories(tarndb INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
# The public headers are C++20: users of tarndb::tarndb compile as C++20 (or later) whatever
# their compiler's default, without a standard of their own.
target_compile_features(tarndb PUBLIC cxx_std_20)
if(TARN_SANITIZE)
    # A sanitized library links only into sanitized programs.
    target_link_options(tarndb INTERFACE $<INSTALL_INTERFACE:-fsanitize=address,undefined>)
    set(TARNDB_PC_SANITIZE " -fsanitize=address,undefined")
endif()

install(TARGETS tarndb EXPORT tarndbTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib NAMELINK_COMPONENT dev
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT lib)

# The public headers; everything else under tarndb/, platform/ and dataproc/ is the
# engine's own business and stays out of the installed tree.
if(EXISTS ${PROJECT_SOURCE_DIR}/include/tarndb)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/tarndb
            DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev
            FILES_MATCHING PATTERN "*.h")
endif()

install(EXPORT tarndbTargets NAMESPACE tarndb::
        DESTINATION ${TARNDB_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/tarndbConfig.cmake.in
    ${PROJECT_BINARY_DIR}/tarndbConfig.cmake
    INSTALL_DESTINATION ${TARNDB_CMAKE_DIR})
# 0.x releases keep SOVERSION 0: any 0.y satisfies a request for 0.x.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/tarndbConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/tarndbConfig.cmake
              ${PROJECT_BINARY_DIR}/tarndbConfigVersion.cmake
        DESTINATION ${TARNDB_CMAKE_DIR} COMPONENT dev)

# tarndb.pc names the prefix it is installed under, so the file is written at install
# time (`cmake --install --prefix`, cpack); the rest is settled here.
set(TARNDB_PC_PREFIX "@TARNDB_PC_PREFIX@")
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
    set(TARNDB_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
    set(TARNDB_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
    set(TARNDB_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
else()
    set(TARNDB_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/tarndb.pc.in ${PROJECT_BINARY_DIR}/tarndb.pc.in @ONLY)
install(CODE "set(TARNDB_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
    configure_file(\"${PROJECT_BINARY_DIR}/tarndb.pc.in\" \"${PROJECT_BINARY_DIR}/tarndb.pc\" @ONLY)"
    COMPONENT dev)
install(FILES ${PROJECT_BINARY_DIR}/tarndb.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# Man pages, compressed, with the version in their title line; the tarndb page names the
# directory its manuals are installed in.
find_program(TARN_GZIP gzip REQUIRED)
set(TARNDB_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/tarndb)
if(IS_ABSOLUTE "${TARNDB_DOC_DIR}")
    set(tarndb_full_doc_dir "${TARNDB_DOC_DIR}")
else()
    set(tarndb_full_doc_dir "${CMAKE_INSTALL_PREFIX}/${TARNDB_DOC_DIR}")
endif()
set(man_pages tarndb)
if(TARGET filever)
    list(APPEND man_pages filever)
endif()
set(man_outputs "")
foreach(page ${man_pages})
    set(out ${PROJECT_BINARY_DIR}/man/${page}.1.gz)
    add_custom_command(OUTPUT ${out}
        COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/doc/${page}.1 -DOUT=${out}
                -DVERSION=${PROJECT_VERSION} -DDOCDIR=${tarndb_full_doc_dir} -DGZIP=${TARN_GZIP}
                -P ${PROJECT_SOURCE_DIR}/cmake/doc_file.cmake
        DEPENDS ${PROJECT_SOURCE_DIR}/doc/${page}.1 ${PROJECT_SOURCE_DIR}/cmake/doc_file.cmake
        COMMENT "Compressing the ${page}(1) man page"
        VERBATIM)
    list(APPEND man_outputs ${out})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_outputs})
install(FILES ${PROJECT_BINARY_DIR}/man/tarndb.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
install(FILES ${PROJECT_SOURCE_DIR}/doc/tarndb-cli.md ${PROJECT_SOURCE_DIR}/doc/file-format.md
        DESTINATION ${TARNDB_DOC_DIR} COMPONENT tool)
if(TARGET filever)
    install(FILES ${PROJECT_BINARY_DIR}/man/filever.1.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT app)
endif()
