# CPack runs this on the Debian package it has just made. CPack's
# Installed-Size adds up what the file system says each entry takes,
# directories too (4096 bytes each on ext4, 40-200 on tmpfs), so the same
# package would come out different on another file system, and CPack has no
# setting for it. Here the field is counted as dpkg-gencontrol counts it
# (each file rounded up to a KiB, 1 KiB for each directory, the top one too,
# and each link), and dpkg-deb packs the package again, its members sorted
# by name and their times clamped to SOURCE_DATE_EPOCH.
foreach(deb ${CPACK_PACKAGE_FILES})
  set(tree ${deb}.tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb --raw-extract ${deb} ${tree}
    COMMAND_ERROR_IS_FATAL ANY)

  file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE ${tree} ${tree}/*)
  set(kib 1)
  foreach(entry ${entries})
    if(entry MATCHES "^DEBIAN(/|$)")
      continue()
    endif()
    if(IS_DIRECTORY ${tree}/${entry} OR IS_SYMLINK ${tree}/${entry})
      math(EXPR kib "${kib} + 1")
    else()
      file(SIZE ${tree}/${entry} size)
      math(EXPR kib "${kib} + (${size} + 1023) / 1024")
    endif()
  endforeach()

  file(READ ${tree}/DEBIAN/control control)
  string(REGEX REPLACE "\nInstalled-Size: [0-9]+\n" "\nInstalled-Size: ${kib}\n"
    control "${control}")
  file(WRITE ${tree}/DEBIAN/control "${control}")
  execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip --build ${tree} ${deb}
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
