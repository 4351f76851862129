# What `cmake --install` puts where, and the packages CPack makes of it:
# a Debian package on Linux, a ZIP for Windows from the cross build. The
# version is the project's (CMakeLists.txt), and the package names carry it.

include(GNUInstallDirs)

# Who answers for the packages: the Maintainer of the Debian package and the
# signature of its changelog. A site that builds its own packages sets its own.
set(ROTABENCH_MAINTAINER "rotabench team <rotabench@rotabench.example>" CACHE STRING
    "the packages' maintainer, as \"name <address>\"")

if(WIN32)
  set(program_dir .)  # the archive's top folder
else()
  set(program_dir ${CMAKE_INSTALL_BINDIR})
endif()
# Each program's link map says which libraries and objects went into it; the
# notices check reads them. It is written in the folder the link runs in, the
# one its relative paths start from.
set(shipped_maps)
foreach(program rotabench rotabench-sim rotabench-report)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${program_dir})
    get_target_property(link_dir ${program} BINARY_DIR)
    target_link_options(${program} PRIVATE "LINKER:-Map=${link_dir}/${program}.map")
    list(APPEND shipped_maps ${link_dir}/${program}.map)
    if(NOT WIN32)
      # Stripped as Debian strips (strip keeps the .comment that GCC's start
      # files carry, lintian does not want it).
      install(CODE "execute_process(COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment
                    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${program_dir}/${program}\" COMMAND_ERROR_IS_FATAL ANY)")
    endif()
  endif()
endforeach()

# The license that ships: the project's own, then the notice of every
# third-party component compiled or linked into the programs (the ZIP's
# LICENSE.txt is made here; the .deb's copyright file is written by hand in
# Debian's format). The test checks the list against what the links used.
if(WIN32)
  set(shipped_notice ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt)
  file(READ LICENSE license_text)
  file(WRITE ${shipped_notice} "${license_text}\n\nThird-party notices\n===================\n\n"
       "The programs also contain the following code of others, under the terms below.\n")
  foreach(component toml++ mingw-w64-runtime winpthreads gcc-runtime)
    file(READ packaging/notices/${component}.txt notice_text)
    file(APPEND ${shipped_notice} "\n---------------------------------------------------------------------------\n${notice_text}")
  endforeach()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS LICENSE packaging/notices/toml++.txt
               packaging/notices/mingw-w64-runtime.txt packaging/notices/winpthreads.txt packaging/notices/gcc-runtime.txt)
else()
  set(shipped_notice ${CMAKE_SOURCE_DIR}/packaging/linux/copyright)
endif()
# A sanitizer build ships nothing, and links the sanitizers' runtimes.
if(ROTABENCH_TESTS AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  add_test(NAME package_notices_cover_what_is_linked
    COMMAND bash ${CMAKE_SOURCE_DIR}/packaging/notices/check-notices ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}
            ${shipped_notice} ${shipped_maps})
endif()

if(WIN32)
  # Each program carries its version information (Explorer's Details tab) and
  # its manifest, compiled by the toolchain's windres.
  enable_language(RC)
  set(descriptions
    "rotabench=gyroscope scale calibration on a rotation jig"
    "rotabench-sim=the rotabench console on a simulated bus"
    "rotabench-report=reads rotabench sessions back and decides their gate")
  configure_file(packaging/windows/program.manifest ${CMAKE_BINARY_DIR}/packaging/program.manifest @ONLY)
  set(ROTABENCH_MANIFEST ${CMAKE_BINARY_DIR}/packaging/program.manifest)
  foreach(entry IN LISTS descriptions)
    string(REGEX REPLACE "=.*" "" ROTABENCH_PROGRAM "${entry}")
    string(REGEX REPLACE "^[^=]*=" "" ROTABENCH_PROGRAM_DESCRIPTION "${entry}")
    if(TARGET ${ROTABENCH_PROGRAM})
      configure_file(packaging/windows/program.rc.in ${CMAKE_BINARY_DIR}/packaging/${ROTABENCH_PROGRAM}.rc @ONLY)
      target_sources(${ROTABENCH_PROGRAM} PRIVATE ${CMAKE_BINARY_DIR}/packaging/${ROTABENCH_PROGRAM}.rc)
    endif()
  endforeach()

  # The archive's top folder holds the programs, the README and the license;
  # the guides keep their docs/ folder so that the README's links lead to
  # them, and the scenario examples rotabench-sim runs are in scenarios/.
  install(FILES README.md DESTINATION .)
  install(FILES ${shipped_notice} DESTINATION .)
  install(DIRECTORY docs/ DESTINATION docs PATTERN man EXCLUDE)
  install(DIRECTORY scenarios/ DESTINATION scenarios)
else()
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR} PATTERN man EXCLUDE)
  install(DIRECTORY scenarios/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/scenarios)
  install(FILES packaging/linux/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # A package's udev rules go where udev reads the system's own, whatever the
  # prefix; /etc/udev/rules.d is the administrator's, to override them.
  set(ROTABENCH_UDEV_RULES_DIR /usr/lib/udev/rules.d CACHE PATH "where the udev rule is installed")
  install(FILES packaging/linux/70-rotabench.rules DESTINATION ${ROTABENCH_UDEV_RULES_DIR})

  # The manual pages and the changelog, with the version filled in and
  # compressed as Debian wants them: gzip -9, no name or time stamp inside.
  set(packed ${CMAKE_BINARY_DIR}/packaging/gz)
  function(rotabench_gzip source name destination)
    configure_file(${source} ${packed}/${name} @ONLY)
    execute_process(COMMAND gzip -9n -c ${packed}/${name} OUTPUT_FILE ${packed}/${name}.gz COMMAND_ERROR_IS_FATAL ANY)
    install(FILES ${packed}/${name}.gz DESTINATION ${destination})
  endfunction()
  set(VERSION ${PROJECT_VERSION})
  foreach(program rotabench rotabench-sim rotabench-report)
    rotabench_gzip(docs/man/${program}.1 ${program}.1 ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
  rotabench_gzip(packaging/linux/changelog.in changelog ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_NAME rotabench)
set(CPACK_PACKAGE_VENDOR "rotabench")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "gyroscope scale calibration of a USB tracking module on a jig")
set(CPACK_PACKAGE_CONTACT ${ROTABENCH_MAINTAINER})
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
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "rotabench leads the operator through rotation runs on a jig and prints
the scale in rad/s/LSB per run and a per-axis summary. rotabench-sim runs
the same console on a simulated bus; rotabench-report reads a session's log
back, recomputes its summary with runs left out, decides the gate and
writes CSV or JSON. A udev rule gives the user at the seat access to the
module's hidraw nodes.")
  # udev reads the rule again when the package is installed and removed.
  set(deb_control ${CMAKE_BINARY_DIR}/packaging/deb)
  foreach(script postinst postrm)
    configure_file(packaging/linux/maintscript ${deb_control}/${script} COPYONLY
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endforeach()
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${deb_control}/postinst ${deb_control}/postrm)
endif()

include(CPack)
