# Debian packages through CPack, one per install component:
#   cpack -G DEB  ->  libtarndb-dev, tarndb, filever (and libtarndb0 with BUILD_SHARED_LIBS)
# Configure with -DCMAKE_INSTALL_PREFIX=/usr so the library lands in the multiarch directory.
set(CPACK_PACKAGE_NAME tarn)
set(CPACK_PACKAGE_VENDOR "tarn")
set(CPACK_PACKAGE_CONTACT "tarn developers <tarn@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Embedded single-file table database engine")
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_COMPONENTS_ALL dev tool)
if(BUILD_SHARED_LIBS)
    list(APPEND CPACK_COMPONENTS_ALL lib)
endif()
if(TARGET filever)
    list(APPEND CPACK_COMPONENTS_ALL app)
endif()

set(CPACK_DEBIAN_LIB_PACKAGE_NAME libtarndb${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_LIB_DESCRIPTION
    "tarndb database engine, shared library\n Typed tables, indexes, filters and optional compression and encryption of values, all in one file.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libtarndb-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DESCRIPTION
    "tarndb database engine, development files\n The engine library, its headers, a CMake package (find_package(tarndb CONFIG)) and a pkg-config file (tarndb.pc).")
# The static library needs the libraries it calls at link time.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "zlib1g-dev, libicu-dev")
if(BUILD_SHARED_LIBS)
    set(CPACK_COMPONENT_DEV_DEPENDS lib)
    set(CPACK_COMPONENT_TOOL_DEPENDS lib)
    set(CPACK_COMPONENT_APP_DEPENDS lib)
endif()

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME tarndb)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION database)
set(CPACK_COMPONENT_TOOL_DESCRIPTION
    "command-line tool for tarndb database files\n Creates, inspects, fills, dumps and checks tarndb database files from the shell.")

set(CPACK_DEBIAN_APP_PACKAGE_NAME filever)
set(CPACK_DEBIAN_APP_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_APP_DESCRIPTION
    "desktop file version manager\n Keeps a history of versions of the files you choose to watch (Qt 6, lives in the tray).")
# Qt loads its platform plugins at run time, out of the linker's sight; the interface is
# in Chinese (Qt's own texts too, from Qt's translations) or English, and opens files and
# folders through xdg-open.
set(CPACK_DEBIAN_APP_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_APP_PACKAGE_RECOMMENDS
    "fonts-wqy-zenhei | fonts-noto-cjk, xdg-utils, qt6-translations-l10n")

# Run-time dependencies: from the programs' own links when dpkg-shlibdeps is there.
find_program(TARN_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(TARN_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1, libicu72, zlib1g")
    set(CPACK_DEBIAN_APP_PACKAGE_DEPENDS "qt6-qpa-plugins, libc6, libstdc++6, libgcc-s1, libicu72, zlib1g, libqt6core6, libqt6gui6, libqt6widgets6, libqt6network6, libqt6charts6")
    set(CPACK_DEBIAN_LIB_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1, libicu72, zlib1g")
endif()

include(CPack)
