# Installing and packaging. The programs, their manual pages and the documents are installed as
# any command-line tool is, with what Debian's package checker (lintian) asks of a package:
# compressed manual pages, a changelog and a machine-readable copyright file, stripped programs.
# `cpack` in a Linux build folder makes the Debian package; scripts/release.sh makes and checks
# every release file.
#
# The version comes from project() alone and reaches the manual pages' footers, the changelog,
# the package and `varnu-pack --version`; scripts/release.sh checks that they all agree.

include(GNUInstallDirs)

# Who answers for the package: a role address rather than a person. The project owns no domain,
# so the address is under the reserved .invalid top-level domain (RFC 2606), which can never
# deliver to a stranger; lintian checks only that the host is well formed.
set(VARNU_MAINTAINER "the varnu authors <maintainers@varnu.invalid>")

# The release date on the manual pages and in the changelog. string(TIMESTAMP) takes it from
# SOURCE_DATE_EPOCH when that is set (scripts/release.sh sets it to the last commit's time, so that
# the date does not depend on when the release is made), else from the time of configuring. CMake formats
# dates in the C locale, so the names are English, as both formats require.
string(TIMESTAMP varnu_month "%B" UTC)
string(TIMESTAMP varnu_day "%d" UTC)
string(TIMESTAMP varnu_year "%Y" UTC)
math(EXPR varnu_day "${varnu_day}") # mdoc writes "December 7, 2026", without a leading zero
set(VARNU_MAN_DATE "${varnu_month} ${varnu_day}, ${varnu_year}")
string(TIMESTAMP VARNU_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)

# A licence notice as the copyright file holds it: the holder on the line "Copyright (c) HOLDER"
# of `file` into `holder_var`, and the text after that line, up to a line `end` (or the file's
# end), into `text_var`, each line indented by one space and an empty line written as " .".
function(varnu_notice file end holder_var text_var)
  file(STRINGS ${file} lines)
  set(holder "")
  set(text "")
  foreach(line IN LISTS lines)
    if(NOT holder AND line MATCHES "^Copyright \\(c\\) (.+)$")
      set(holder ${CMAKE_MATCH_1})
    elseif(holder AND NOT end STREQUAL "" AND line STREQUAL end)
      break()
    elseif(holder AND line STREQUAL "")
      string(APPEND text " .\n")
    elseif(holder)
      string(APPEND text " ${line}\n")
    endif()
  endforeach()
  if(NOT holder)
    message(FATAL_ERROR "${file} has no line \"Copyright (c) YEAR HOLDER\"")
  endif()
  string(REGEX REPLACE "^ \\.\n(.*)\n$" "\\1" text "${text}")
  set(${holder_var} ${holder} PARENT_SCOPE)
  set(${text_var} "${text}" PARENT_SCOPE)
endfunction()

# The copyright file carries the licence itself, so LICENSE stays its one home: its copyright line
# becomes the Copyright field, and the permission text below it the licence's body.
varnu_notice(${PROJECT_SOURCE_DIR}/LICENSE "" VARNU_COPYRIGHT VARNU_LICENCE_TEXT)

# varnu-pack carries lodepng (src/pack/CMakeLists.txt): its notice too, as its header's opening
# comment states it.
set(VARNU_LODEPNG_COPYRIGHT "")
if(EXISTS ${VARNU_LODEPNG_DIR}/lodepng.h)
  varnu_notice(${VARNU_LODEPNG_DIR}/lodepng.h "*/" varnu_lodepng_holder varnu_lodepng_text)
  set(VARNU_LODEPNG_COPYRIGHT
      "\nFiles: lodepng.c lodepng.h\nCopyright: ${varnu_lodepng_holder}\nLicense: Zlib\n${varnu_lodepng_text}")
endif()

set(varnu_packaging ${PROJECT_BINARY_DIR}/packaging)
configure_file(packaging/debian/copyright.in ${varnu_packaging}/copyright @ONLY)
configure_file(packaging/debian/changelog.in ${varnu_packaging}/changelog @ONLY)
# The pages go to man/man1/ in the build folder so that MANPATH can name it (their lint test
# follows the cross-references there).
set(varnu_man_pages varnu.1 varnu-pack.1)
foreach(page IN LISTS varnu_man_pages)
  configure_file(man/${page}.in ${PROJECT_BINARY_DIR}/man/man1/${page} @ONLY)
endforeach()

# Compressed as Debian wants them (-n: no name or time stamp in the header, so that the same
# input gives the same bytes). gzip is part of every Debian system.
find_program(VARNU_GZIP gzip REQUIRED)
set(varnu_compressed ${varnu_packaging}/gz)
file(MAKE_DIRECTORY ${varnu_compressed})
function(varnu_compress file)
  get_filename_component(name ${file} NAME)
  execute_process(COMMAND ${VARNU_GZIP} -9 -n -c ${file} OUTPUT_FILE ${varnu_compressed}/${name}.gz
                  COMMAND_ERROR_IS_FATAL ANY)
endfunction()
foreach(page IN LISTS varnu_man_pages)
  varnu_compress(${PROJECT_BINARY_DIR}/man/man1/${page})
  install(FILES ${varnu_compressed}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
varnu_compress(${varnu_packaging}/changelog)

install(TARGETS varnu varnu-pack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md ${varnu_packaging}/copyright ${varnu_compressed}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

if(WIN32)
  return()
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnu)
set(CPACK_PACKAGE_VENDOR "the varnu authors")
set(CPACK_PACKAGE_CONTACT ${VARNU_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "unpack packed image archives into bitmap files")
# The extended description, wrapped as lintian wants it (under 80 columns); CPack indents each
# line and writes the empty line between paragraphs as " .".
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "varnu converts a packed image archive into one Windows bitmap file per"
  "entry. An archive is a run of entries on 2048-byte boundaries, each holding"
  "an LZSS stream that unpacks to an 8-bit palette bitmap. On request, varnu"
  "writes each picture at half its width in 24-bit true colour instead. Every"
  "size and offset read from the archive is checked, so a damaged archive ends"
  "with an error message, never with a crash or a half-written file."
  ""
  "varnu-pack packs pictures back into such an archive, one that varnu converts"
  "back into the same pictures byte for byte. It accepts bitmaps and PNG files"
  "as image editors save them, and copies the entries of an original archive"
  "whose pictures were not edited as they stand.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
