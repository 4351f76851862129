# What `cmake --install` puts where, and the packages CPack makes of it:
# a Debian package on Linux, a ZIP for Windows from the cross build. The
# version is the project's (CMakeLists.txt), and the package names carry it.

include(GNUInstallDirs)

if(WIN32)
  set(program_dir .)  # the archive's top folder
else()
  set(program_dir ${CMAKE_INSTALL_BINDIR})
endif()
foreach(program rotabench rotabench-sim rotabench-report)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${program_dir})
  endif()
endforeach()

if(WIN32)
  # Everything in the archive's top folder: the programs, the guides, the
  # scenario examples rotabench-sim runs.
  install(FILES README.md docs/windows.md docs/operator.md DESTINATION .)
  install(DIRECTORY scenarios/ DESTINATION scenarios)
else()
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(DIRECTORY scenarios/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/scenarios)
  # udev reads its rules from /etc/udev/rules.d whatever the prefix.
  set(ROTABENCH_UDEV_RULES_DIR /etc/udev/rules.d CACHE PATH "where the udev rule is installed")
  install(FILES packaging/linux/70-rotabench.rules DESTINATION ${ROTABENCH_UDEV_RULES_DIR})
endif()

set(CPACK_PACKAGE_NAME rotabench)
set(CPACK_PACKAGE_VENDOR "rotabench")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Measures the scale factor of the gyroscope in a USB tracking module on a rotation jig")
set(CPACK_PACKAGE_CONTACT "rotabench team <rotabench@localhost>")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME rotabench-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # rotabench_<version>_<arch>.deb
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)   # libc6, libstdc++6, ... as the programs need them
  # Below the synopsis (CPACK_PACKAGE_DESCRIPTION_SUMMARY).
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "rotabench leads the operator through rotation runs on a jig and prints the
scale in rad/s/LSB per run and a per-axis summary. rotabench-sim runs the
same console on a simulated bus; rotabench-report reads a session's log back,
recomputes its summary with runs left out and writes CSV or JSON. A udev rule gives the user at the seat
access to the module's hidraw nodes.")
  # The rule is the administrator's to edit, and udev reads it at once.
  set(deb_control ${CMAKE_BINARY_DIR}/packaging/deb)
  file(WRITE ${deb_control}/conffiles "${ROTABENCH_UDEV_RULES_DIR}/70-rotabench.rules\n")
  file(WRITE ${deb_control}/postinst
       "#!/bin/sh\nset -e\nif [ \"$1\" = configure ] && command -v udevadm >/dev/null 2>&1; then\n"
       "  udevadm control --reload-rules 2>/dev/null || true\n"
       "  udevadm trigger --subsystem-match=hidraw 2>/dev/null || true\nfi\n")
  file(CHMOD ${deb_control}/postinst PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
       WORLD_READ WORLD_EXECUTE)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${deb_control}/conffiles ${deb_control}/postinst)
endif()

include(CPack)
