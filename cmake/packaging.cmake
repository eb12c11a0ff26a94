# Debian packages through CPack, one per install component:
#   cpack -G DEB  ->  libtarndb-dev, tarndb, filever (and libtarndb0 with BUILD_SHARED_LIBS)
# Configure with -DCMAKE_INSTALL_PREFIX=/usr so the library lands in the multiarch directory;
# scripts/package-check builds them and runs lintian on them.
#
# Every package carries /usr/share/doc/<package>/copyright (made from LICENSE in Debian's
# machine-readable format) and changelog.Debian.gz (from packaging/debian/changelog, whose
# latest entry gives the Debian revision). They are installed only into packages (component
# installs), not by a plain `cmake --install`.

set(TARN_MAINTAINER "tarn developers <tarn-dev@lists.example.org>")

# The version of the latest changelog entry is the packages' version: the project's version
# and a Debian revision.
set(TARN_DEB_CHANGELOG ${PROJECT_SOURCE_DIR}/packaging/debian/changelog)
file(STRINGS ${TARN_DEB_CHANGELOG} changelog_top LIMIT_COUNT 1)
if(NOT changelog_top MATCHES "^tarn \\(([^)-]+)-([^)]+)\\) ")
    message(FATAL_ERROR "${TARN_DEB_CHANGELOG}: the first line is not 'tarn (VERSION-REVISION) ...': "
                        "${changelog_top}")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "${TARN_DEB_CHANGELOG}: the latest entry is for ${CMAKE_MATCH_1}, the "
                        "project is ${PROJECT_VERSION}: add an entry for this version")
endif()
set(TARN_DEB_REVISION ${CMAKE_MATCH_2})

# debian/copyright from LICENSE: the copyright line and the licence text after it.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license_text)
if(NOT license_text MATCHES "Copyright \\(c\\) ([^\n]+)\n\n(.*)$")
    message(FATAL_ERROR "LICENSE: no 'Copyright (c) ...' line followed by the licence text")
endif()
set(copyright_holder "${CMAKE_MATCH_1}")
string(STRIP "${CMAKE_MATCH_2}" license_body)
string(REPLACE "\n\n" "\n.\n" license_body "${license_body}")
string(REPLACE "\n" "\n " license_body "${license_body}")
file(WRITE ${PROJECT_BINARY_DIR}/debian/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: tarn
Upstream-Contact: ${TARN_MAINTAINER}

Files: *
Copyright: ${copyright_holder}
License: Expat

License: Expat
 ${license_body}
")

set(changelog_gz ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz)
add_custom_command(OUTPUT ${changelog_gz}
    COMMAND ${CMAKE_COMMAND} -DIN=${TARN_DEB_CHANGELOG} -DOUT=${changelog_gz} -DGZIP=${TARN_GZIP}
            -P ${PROJECT_SOURCE_DIR}/cmake/doc_file.cmake
    DEPENDS ${TARN_DEB_CHANGELOG} ${PROJECT_SOURCE_DIR}/cmake/doc_file.cmake
    COMMENT "Compressing the Debian changelog"
    VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${changelog_gz})

set(CPACK_PACKAGE_NAME tarn)
set(CPACK_PACKAGE_VENDOR "The tarn developers")
set(CPACK_PACKAGE_CONTACT "${TARN_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARN_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TARN_DEB_REVISION})
set(CPACK_DEBIAN_PACKAGE_SOURCE tarn)
# No CPACK_PACKAGE_DESCRIPTION_SUMMARY: CPack would put it in front of every package's own
# description, so each package below starts its description with its own synopsis.
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# Packages ship stripped programs and libraries; control files are 0644 (0755 scripts).
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_COMPONENTS_ALL dev tool)
if(BUILD_SHARED_LIBS)
    list(APPEND CPACK_COMPONENTS_ALL lib)
endif()
if(TARGET filever)
    list(APPEND CPACK_COMPONENTS_ALL app)
endif()

set(CPACK_DEBIAN_LIB_PACKAGE_NAME libtarndb${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libtarndb-dev)
set(CPACK_DEBIAN_TOOL_PACKAGE_NAME tarndb)
set(CPACK_DEBIAN_APP_PACKAGE_NAME filever)

foreach(component ${CPACK_COMPONENTS_ALL})
    string(TOUPPER ${component} c)
    install(FILES ${PROJECT_BINARY_DIR}/debian/copyright ${changelog_gz}
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${c}_PACKAGE_NAME}
            COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

# What every package says of the engine, after its own first paragraph. A description is a
# synopsis line, then the long description: CPack starts each of its lines with the blank
# Debian's format asks for (an empty line becomes " ."), so lines here are written without
# it, and at most 79 columns wide.
set(engine_paragraph
"tarndb is an embedded database engine that keeps typed tables, their indexes
and their memo and blob values in one file. Programs reach it through a C++
library: records are read by index order or by filters in an expression
language, changed in transactions that a journal makes safe from crashes, and
their values can be compressed and encrypted.")

set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIB_DESCRIPTION
"embedded single-file table database engine (shared library)
${engine_paragraph}

This package holds the shared library.")
# ldconfig runs through its trigger; dpkg-shlibdeps learns from the shlibs file which
# package provides libtarndb.so.N to the packages that link it.
set(CPACK_DEBIAN_LIB_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/debian/lib/triggers)
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/libtarndb0.triggers
               ${CMAKE_CURRENT_BINARY_DIR}/debian/lib/triggers COPYONLY)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_DESCRIPTION
"embedded single-file table database engine (development files)
${engine_paragraph}

This package holds what programs that use the library are built with: the
headers, the library to link (static, or the link to the shared library), a
CMake package (find_package(tarndb CONFIG) gives the target tarndb::tarndb)
and a pkg-config file (tarndb.pc).")
# The CMake package looks for zlib and ICU, and the static library needs them to link.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "zlib1g-dev, libicu-dev")
if(BUILD_SHARED_LIBS)
    set(CPACK_COMPONENT_DEV_DEPENDS lib)
    set(CPACK_COMPONENT_TOOL_DEPENDS lib)
    set(CPACK_COMPONENT_APP_DEPENDS lib)
endif()

set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION database)
set(CPACK_DEBIAN_TOOL_DESCRIPTION
"command-line tool for tarndb database files
tarndb creates, inspects, fills, dumps, checks and compacts tarndb database
files from the shell: it adds tables with their indexes, appends the rows of
CSV files, prints the rows a filter chooses, verifies every structure of a
file and gives back the space of deleted records.

${engine_paragraph}

The manual and a description of the file format are in /usr/share/doc/tarndb.")

set(CPACK_DEBIAN_APP_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_APP_DESCRIPTION
"desktop version manager that keeps the history of watched files
filever lives in the notification area and keeps a copy of a watched file
every time it is saved, with a short description. Versions can be searched,
compared, merged and put back; whole folders can be watched, and a retention
setting decides how long versions stay. The interface is in Chinese or
English.

The catalogue of versions is a tarndb database; the copies are plain files.")
# Qt loads its platform plugins at run time, out of the linker's sight; the interface is
# in Chinese (Qt's own texts too, from Qt's translations) or English, and opens files and
# folders through xdg-open.
set(CPACK_DEBIAN_APP_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_APP_PACKAGE_RECOMMENDS
    "fonts-wqy-zenhei | fonts-noto-cjk, xdg-utils, qt6-translations-l10n")

# Run-time dependencies: from the programs' own links when dpkg-shlibdeps is there. In a
# shared build it meets libtarndb.so.N, which no installed package provides yet: it finds
# the library in the build tree, and the dependency on libtarndb0 comes from the component
# dependencies above.
find_program(TARN_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(TARN_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    get_target_property(tarndb_build_dir tarndb BINARY_DIR)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${tarndb_build_dir})
else()
    set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1, libicu72, zlib1g")
    set(CPACK_DEBIAN_APP_PACKAGE_DEPENDS "qt6-qpa-plugins, libc6, libstdc++6, libgcc-s1, libicu72, zlib1g, libqt6core6, libqt6gui6, libqt6widgets6, libqt6network6, libqt6charts6")
    set(CPACK_DEBIAN_LIB_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1, libicu72, zlib1g")
endif()

include(CPack)
