# Install rules and the Debian package.
include(GNUInstallDirs)

# Debian wants manual pages compressed, and reproducibly so (no name or time in the header).
set(KESTO_MAN_GZ ${CMAKE_BINARY_DIR}/kesto.1.gz)
add_custom_command(OUTPUT ${KESTO_MAN_GZ}
  COMMAND gzip -9 -n -c ${CMAKE_SOURCE_DIR}/doc/kesto.1 > ${KESTO_MAN_GZ}
  DEPENDS ${CMAKE_SOURCE_DIR}/doc/kesto.1
  VERBATIM)
add_custom_target(kesto_manual ALL DEPENDS ${KESTO_MAN_GZ})

install(TARGETS kesto RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${KESTO_MAN_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The examples beside the manual, each folder whole, whatever it holds (the package leaves the
# ELF files out: see packaging/package_without_elf.cmake).
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/packaging/debian/copyright
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Packagers put their own name and address here; it signs the changelog as well.
set(KESTO_MAINTAINER "The KESTO developers <kesto@example.org>" CACHE STRING
  "Maintainer of the Debian package: Name <address>")
set(KESTO_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/changelog.gz)
configure_file(${CMAKE_SOURCE_DIR}/packaging/debian/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${KESTO_CHANGELOG_GZ}
  COMMAND gzip -9 -n -c ${CMAKE_BINARY_DIR}/changelog > ${KESTO_CHANGELOG_GZ}
  DEPENDS ${CMAKE_BINARY_DIR}/changelog
  VERBATIM)
add_custom_target(kesto_changelog ALL DEPENDS ${KESTO_CHANGELOG_GZ})
install(FILES ${KESTO_CHANGELOG_GZ} DESTINATION ${CMAKE_INSTALL_DOCDIR})

# udev reads rules from /usr/lib/udev/rules.d whatever the prefix, so an install under /usr or
# /usr/local puts the adapters' rule there. Any other prefix (a home folder) keeps it under
# itself, to be copied to /etc/udev/rules.d by hand: udev would not see it there.
install(CODE "set(KESTO_UDEV_RULE \"${CMAKE_SOURCE_DIR}/packaging/70-kesto.rules\")")
install(CODE [[
  if(CMAKE_INSTALL_PREFIX MATCHES "^/usr(/local)?/?$")
    set(kesto_rules_dir /usr/lib/udev/rules.d)
  else()
    set(kesto_rules_dir ${CMAKE_INSTALL_PREFIX}/lib/udev/rules.d)
  endif()
  file(INSTALL DESTINATION ${kesto_rules_dir} TYPE FILE FILES ${KESTO_UDEV_RULE})
]])

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kesto)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${KESTO_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "MSP430 flash programmer and serial terminal")
# Lines of at most 80 characters; CPack indents every line after the first by one blank.
set(CPACK_PACKAGE_DESCRIPTION "Programs MSP430 microcontrollers through the chip maker's FET adapter and
library, then works as a plain serial terminal on the board's UART. A built-in
simulated adapter and target lets every part of it run without hardware. A udev
rule gives the logged-in user the adapters and keeps ModemManager off them.")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_SOURCE_DIR}/packaging/debian/postinst ${CMAKE_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/packaging/package_without_elf.cmake)
include(CPack)

if(KESTO_TESTS AND NOT WIN32)
  # Builds the package, unpacks it into a temporary root and runs what was installed.
  add_test(NAME Package.InstallsAndRuns
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/package/package_test.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(Package.InstallsAndRuns PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
endif()
