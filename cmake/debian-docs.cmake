# CPack runs this between installing into its staging tree and packing the
# Debian package: it adds the copyright file and the changelog Debian asks
# for, and compresses them and the manual page as Debian does. A plain
# `cmake --install` has none of this.
set(root ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(doc ${root}/share/doc/wincue)
set(src ${CPACK_WINCUE_SOURCE_DIR})

# A package whose changelog names another version would mislead.
file(STRINGS ${src}/cmake/debian-changelog top LIMIT_COUNT 1)
if(NOT top MATCHES "^wincue \\(${CPACK_PACKAGE_VERSION}\\) ")
  message(FATAL_ERROR "cmake/debian-changelog: the first entry is not "
    "version ${CPACK_PACKAGE_VERSION}; add one")
endif()

file(READ ${src}/LICENSE license)
# wincue-wlr.so holds code made from another's protocol description, under
# its own notice, which goes with it.
file(READ ${src}/platform/linux/desktop/wlr/wlr-foreign-toplevel-management-unstable-v1.xml
  protocol)
string(REGEX MATCH "<copyright>\n(.*)\n *</copyright>" notice "${protocol}")
file(WRITE ${doc}/copyright
  "wincue ${CPACK_PACKAGE_VERSION}, built from its own sources.\n\n${license}\n"
  "wincue-wlr.so is made in part from wlr-foreign-toplevel-management-unstable-v1.xml:\n\n"
  "${CMAKE_MATCH_1}\n")
file(COPY_FILE ${src}/cmake/debian-changelog ${doc}/changelog)

# Debian wants the most compression and no time stamp (reproducible
# packages); CMake's own gzip writes one.
foreach(file ${doc}/changelog ${root}/share/man/man1/wincue.1)
  execute_process(COMMAND gzip -9nf ${file} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
