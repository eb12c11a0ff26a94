# One library per layer. A layer's sources are every .cpp under its folder except unit
# tests (*_test.cpp), which sit beside the code they test and are built into one test
# executable per layer, registered with ctest test by test.
#
# The sources of a layer are compiled once, into an object library <layer>_objects. The
# lower layers (platform, dataproc) are static libraries used inside the build only; the
# engine library tarndb bundles their objects with its own (BUNDLE), so what is installed
# and linked by users is one library, libtarndb.a or, with BUILD_SHARED_LIBS, libtarndb.so.

option(TARN_WERROR "Treat compiler warnings as errors" OFF)

function(tarn_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(TARN_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        # GCC 12 reports std::string copies as overlapping memcpy at -O3 (a known false
        # positive of -Wrestrict).
        target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
endfunction()

# Include roots. include/ holds the engine's public headers, the ones installed with the
# library. Code outside the engine reaches the other top-level folders as "<folder>/..."
# through TARN_LAYER_ROOT, a folder of links to each of them except tarndb/: an internal
# engine header is not on its include path, so only the public API can be used there. The
# engine, and its own tests, benchmarks and fuzz targets, see the repository root as well.
set(TARN_PUBLIC_INCLUDE ${PROJECT_SOURCE_DIR}/include)
set(TARN_LAYER_ROOT ${PROJECT_BINARY_DIR}/layer_root)
file(MAKE_DIRECTORY ${TARN_LAYER_ROOT})
foreach(folder platform dataproc tools app tests)
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${TARN_LAYER_ROOT}/${folder} SYMBOLIC)
endforeach()

# tarn_layer(NAME <name> [DEPS <libs...>] [TEST_DEPS <libs...>] [BUNDLE <layers...>])
#   DEPS    what the layer's code uses; linked PUBLIC into a plain layer. A bundling layer
#           lists the external libraries it and its bundled layers need (PRIVATE: none of
#           them shows in the headers).
#   BUNDLE  layers whose objects this library carries; it is then STATIC or SHARED as
#           BUILD_SHARED_LIBS says, where a plain layer is always STATIC. The bundling
#           layer is the engine: its own folder stays off its users' include path.
function(tarn_layer)
    cmake_parse_arguments(L "" "NAME" "DEPS;TEST_DEPS;BUNDLE" ${ARGN})
    file(GLOB_RECURSE all_sources CONFIGURE_DEPENDS
         ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    set(lib_sources "")
    set(test_sources "")
    foreach(f ${all_sources})
        if(f MATCHES "_test\\.cpp$")
            list(APPEND test_sources ${f})
        else()
            list(APPEND lib_sources ${f})
        endif()
    endforeach()

    set(build_includes $<BUILD_INTERFACE:${TARN_PUBLIC_INCLUDE}>
                       $<BUILD_INTERFACE:${TARN_LAYER_ROOT}>)
    if(lib_sources)
        add_library(${L_NAME}_objects OBJECT ${lib_sources})
        target_include_directories(${L_NAME}_objects PUBLIC ${build_includes})
        if(L_BUNDLE)
            target_include_directories(${L_NAME}_objects PRIVATE ${PROJECT_SOURCE_DIR})
        endif()
        tarn_warnings(${L_NAME}_objects)
        set(objects $<TARGET_OBJECTS:${L_NAME}_objects>)
        if(L_BUNDLE)
            foreach(b ${L_BUNDLE})
                list(APPEND objects $<TARGET_OBJECTS:${b}_objects>)
            endforeach()
            target_link_libraries(${L_NAME}_objects PRIVATE ${L_DEPS})
            add_library(${L_NAME} ${objects})
            target_link_libraries(${L_NAME} PRIVATE ${L_DEPS})
        else()
            target_link_libraries(${L_NAME}_objects PUBLIC ${L_DEPS})
            add_library(${L_NAME} STATIC ${objects})
            target_link_libraries(${L_NAME} PUBLIC ${L_DEPS})
        endif()
        target_include_directories(${L_NAME} PUBLIC ${build_includes})
    else()
        # A layer with headers only (or none yet).
        add_library(${L_NAME} INTERFACE)
        target_include_directories(${L_NAME} INTERFACE ${build_includes})
        target_link_libraries(${L_NAME} INTERFACE ${L_DEPS})
    endif()

    if(TARN_BUILD_TESTS AND test_sources)
        add_executable(${L_NAME}_tests ${test_sources})
        target_link_libraries(${L_NAME}_tests PRIVATE ${L_NAME} ${L_DEPS} ${L_TEST_DEPS}
                              tarn_testsupport GTest::gtest GTest::gtest_main)
        if(L_BUNDLE)
            target_include_directories(${L_NAME}_tests PRIVATE ${PROJECT_SOURCE_DIR})
        endif()
        tarn_warnings(${L_NAME}_tests)
        gtest_discover_tests(${L_NAME}_tests
            WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
            PROPERTIES ENVIRONMENT "TARN_SOURCE_DIR=${PROJECT_SOURCE_DIR};LC_ALL=C.UTF-8"
            DISCOVERY_TIMEOUT 60)
    endif()
endfunction()
