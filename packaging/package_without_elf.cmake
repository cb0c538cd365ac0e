# Run by CPack on the staged tree before the Debian package is made: Debian's policy has no
# place for another architecture's executable under /usr/share, so the package ships the
# examples' sources, linker scripts and Intel HEX images, and `make install` the ELF files too.
file(GLOB_RECURSE kesto_elf_files "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.elf")
if(kesto_elf_files)
  file(REMOVE ${kesto_elf_files})
endif()
