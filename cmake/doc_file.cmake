# Writes a compressed copy of a document at build time, as distributions ship them:
#   cmake -DIN=<file> -DOUT=<file.gz> [-DVERSION=<v>] [-DDOCDIR=<dir>] -DGZIP=<gzip>
#         -P doc_file.cmake
# VERSION goes into a man page's title line (.TH NAME SECTION "date" "source" ...), after
# the source's name; DOCDIR replaces /usr/share/doc/tarndb, where the documents the man
# pages name are installed. gzip -9n leaves out the name and time, so the same input gives
# the same bytes.
foreach(v IN ITEMS IN OUT GZIP)
    if(NOT DEFINED ${v})
        message(FATAL_ERROR "doc_file.cmake: ${v} is not set")
    endif()
endforeach()

file(READ "${IN}" text)
if(DEFINED VERSION)
    string(REGEX MATCH "^\\.TH [^\n]*" title "${text}")
    if(NOT title)
        message(FATAL_ERROR "doc_file.cmake: ${IN} does not start with a .TH line")
    endif()
    string(REGEX REPLACE "^(\\.TH +[^ ]+ +[^ ]+ +\"[^\"]*\" +\"[^\" ]+)[^\"]*\"" "\\1 ${VERSION}\""
           versioned "${title}")
    if(versioned STREQUAL title)
        message(FATAL_ERROR "doc_file.cmake: the .TH line of ${IN} names no source: ${title}")
    endif()
    string(REPLACE "${title}" "${versioned}" text "${text}")
endif()
if(DEFINED DOCDIR)
    string(REPLACE "/usr/share/doc/tarndb" "${DOCDIR}" text "${text}")
endif()

get_filename_component(out_dir "${OUT}" DIRECTORY)
file(MAKE_DIRECTORY "${out_dir}")
set(plain "${OUT}.in")
file(WRITE "${plain}" "${text}")
execute_process(COMMAND "${GZIP}" -9n -c "${plain}" OUTPUT_FILE "${OUT}" RESULT_VARIABLE rc)
file(REMOVE "${plain}")
if(NOT rc EQUAL 0)
    file(REMOVE "${OUT}")
    message(FATAL_ERROR "doc_file.cmake: ${GZIP} failed on ${IN} (${rc})")
endif()
