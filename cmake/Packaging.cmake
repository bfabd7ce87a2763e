# Release packages, built with cpack in a configured tree:
#   Windows build: a ZIP whose folder ZARVIK holds zarvik.exe, the 32-bit
#                  zarvik32.exe of the tree named by ZARVIK_WINDOWS32_BUILD_DIR,
#                  the Polish CZYTAJ.txt, the nightly task's script
#                  harmonogram.cmd and its Task Scheduler definition;
#   Linux build:   a .deb and a .tar.gz with bin/zarvik, the man page and the
#                  systemd service and timer of the nightly run; the .deb also
#                  holds their settings (/etc/default/zarvik), the copyright
#                  file, the changelog and the maintainer scripts.
# Only the component "zarvik" goes into a package, so whatever else the tree
# builds (GoogleTest, the simulator) never ends up in one. Packing writes
# nothing outside the build tree: every destination is relative, except the
# settings file's, whose component only the .deb's staging directory gets.

set(ZARVIK_PACKAGE_COMPONENT zarvik)

if(WIN32)
  # The zip unpacks into one folder, ZARVIK, which CZYTAJ.txt places at C:\.
  set(_zip_dir ZARVIK)
  install(TARGETS zarvik RUNTIME DESTINATION ${_zip_dir} COMPONENT ${ZARVIK_PACKAGE_COMPONENT})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/CZYTAJ.txt ${PROJECT_SOURCE_DIR}/packaging/harmonogram.cmd
          ${PROJECT_SOURCE_DIR}/packaging/harmonogram.xml
          DESTINATION ${_zip_dir} COMPONENT ${ZARVIK_PACKAGE_COMPONENT})

  # The installer of this tree's width, beside the zip (packaging/zarvik.wxs,
  # built by wixl, which scripts/deps installs): x64 with zarvik.exe, x86 with
  # zarvik32.exe. SOURCE_DATE_EPOCH, when set, fixes its times.
  find_program(ZARVIK_WIXL wixl)
  find_package(Python3 COMPONENTS Interpreter)
  if(ZARVIK_WIXL AND Python3_FOUND)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set(ZARVIK_MSI_ARCH x86)
    else()
      set(ZARVIK_MSI_ARCH x64)
    endif()
    set(ZARVIK_MSI ${CMAKE_BINARY_DIR}/zarvik-${PROJECT_VERSION}-${ZARVIK_MSI_ARCH}.msi)
    set(ZARVIK_MSI_BUILD ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/packaging/build_msi.py
        ${PROJECT_SOURCE_DIR}/packaging/zarvik.wxs ${ZARVIK_MSI_ARCH})
    set(ZARVIK_MSI_FILES $<TARGET_FILE:zarvik> ${PROJECT_SOURCE_DIR}/packaging/CZYTAJ.txt
        ${PROJECT_SOURCE_DIR}/packaging/zadanie.xml)
    add_custom_command(OUTPUT ${ZARVIK_MSI}
      COMMAND ${ZARVIK_MSI_BUILD} ${PROJECT_VERSION} ${ZARVIK_MSI_FILES} ${ZARVIK_MSI}
      DEPENDS zarvik ${ZARVIK_MSI_FILES} ${PROJECT_SOURCE_DIR}/packaging/build_msi.py
        ${PROJECT_SOURCE_DIR}/packaging/zarvik.wxs
      COMMENT "Building the installer zarvik-${PROJECT_VERSION}-${ZARVIK_MSI_ARCH}.msi")
    add_custom_target(zarvik_msi ALL DEPENDS ${ZARVIK_MSI})
  else()
    message(STATUS "No installer (.msi): wixl not found (scripts/deps installs it)")
  endif()
else()
  # Debian wants man pages and changelogs compressed; -n keeps the time stamp
  # out of the file, so that two builds of the same sources give the same
  # bytes.
  find_program(ZARVIK_GZIP gzip REQUIRED)
  set(ZARVIK_MANPAGE_GZ ${CMAKE_BINARY_DIR}/zarvik.1.gz)
  set(ZARVIK_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/debian-doc/changelog.gz)
  add_custom_command(OUTPUT ${ZARVIK_MANPAGE_GZ}
    COMMAND ${ZARVIK_GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/docs/zarvik.1 > ${ZARVIK_MANPAGE_GZ}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/zarvik.1
    COMMENT "Compressing the man page")
  add_custom_command(OUTPUT ${ZARVIK_CHANGELOG_GZ}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/debian-doc
    COMMAND ${ZARVIK_GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/packaging/debian/changelog > ${ZARVIK_CHANGELOG_GZ}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
    COMMENT "Compressing the changelog")
  add_custom_target(zarvik_manpage ALL DEPENDS ${ZARVIK_MANPAGE_GZ} ${ZARVIK_CHANGELOG_GZ})
  add_dependencies(zarvik zarvik_manpage)

  install(TARGETS zarvik RUNTIME DESTINATION bin COMPONENT ${ZARVIK_PACKAGE_COMPONENT})
  install(FILES ${ZARVIK_MANPAGE_GZ} DESTINATION share/man/man1
          COMPONENT ${ZARVIK_PACKAGE_COMPONENT})
  # The nightly run: the service and its timer (installed, not enabled).
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/zarvik.service ${PROJECT_SOURCE_DIR}/packaging/zarvik.timer
          DESTINATION lib/systemd/system COMPONENT ${ZARVIK_PACKAGE_COMPONENT})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${ZARVIK_CHANGELOG_GZ}
          DESTINATION share/doc/zarvik COMPONENT ${ZARVIK_PACKAGE_COMPONENT})
  # The README's alert rules and collection script, as the chain's IT takes
  # them (the README is where they are kept and tested).
  file(READ ${PROJECT_SOURCE_DIR}/README.md _readme)
  foreach(_example "yaml|groups:|zarvik-alerts.yml" "sh|#!/bin/sh\n# zarvik-collect|zarvik-collect")
    string(REPLACE "|" ";" _example "${_example}")
    list(GET _example 0 _language)
    list(GET _example 1 _first)
    list(GET _example 2 _name)
    string(FIND "${_readme}" "```${_language}\n${_first}" _at)
    if(_at EQUAL -1)
      message(FATAL_ERROR "README.md holds no ${_language} block starting with ${_first}")
    endif()
    string(LENGTH "```${_language}\n" _fence)
    math(EXPR _at "${_at} + ${_fence}")
    string(SUBSTRING "${_readme}" ${_at} -1 _block)
    string(FIND "${_block}" "\n```\n" _end)
    math(EXPR _end "${_end} + 1")
    string(SUBSTRING "${_block}" 0 ${_end} _block)
    file(WRITE ${CMAKE_BINARY_DIR}/examples/${_name} "${_block}")
  endforeach()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md)
  install(FILES ${CMAKE_BINARY_DIR}/examples/zarvik-alerts.yml ${CMAKE_BINARY_DIR}/examples/zarvik-collect
          DESTINATION share/doc/zarvik/examples COMPONENT ${ZARVIK_PACKAGE_COMPONENT})
  # Their settings, which dpkg keeps as a configuration file: only in the
  # .deb (CPackProject.cmake adds the component for that generator alone),
  # and never by a plain install.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/zarvik.default DESTINATION /etc/default RENAME zarvik
          COMPONENT zarvik_deb EXCLUDE_FROM_ALL)
  file(WRITE ${CMAKE_BINARY_DIR}/debian-control/conffiles "/etc/default/zarvik\n")
  foreach(_script postinst prerm postrm)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/${_script} ${CMAKE_BINARY_DIR}/debian-control/${_script}
                   COPYONLY)
  endforeach()
  file(WRITE ${CMAKE_BINARY_DIR}/CPackProject.cmake
    "if(CPACK_GENERATOR STREQUAL \"DEB\")\n"
    "  list(APPEND CPACK_INSTALL_CMAKE_PROJECTS \"${CMAKE_BINARY_DIR}\" \"${PROJECT_NAME}\" zarvik_deb \"/\")\n"
    "endif()\n")
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackProject.cmake)
endif()

set(CPACK_PACKAGE_NAME zarvik)
set(CPACK_PACKAGE_VENDOR "Zarvik")
set(CPACK_PACKAGE_CONTACT "Zarvik maintainers <zarvik@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "copies the electronic copy module (KE) of Polish fiscal printers to disk")
# The long description, in lines Debian tools show as they stand.
set(CPACK_PACKAGE_DESCRIPTION
    "Zarvik finds fiscal printers and electronic copy (KE) modules on the\n\
serial ports, checks that each KE belongs to its printer's fiscal memory,\n\
and keeps a directory per KE on the local disk in step with the KE's files.\n\
It also writes a report of the serial devices it finds.")
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${CMAKE_BINARY_DIR};${PROJECT_NAME};${ZARVIK_PACKAGE_COMPONENT};/")
# The 64-bit tree packs the 32-bit tree's install component beside its own,
# so one zip holds both programs. That tree must be built before cpack runs.
set(ZARVIK_WINDOWS32_BUILD_DIR "" CACHE PATH "32-bit Windows build tree whose zarvik32.exe the zip also holds")
set(ZARVIK_PACK_WINDOWS32 OFF)
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8 AND ZARVIK_WINDOWS32_BUILD_DIR)
  set(ZARVIK_PACK_WINDOWS32 ON)
  list(APPEND CPACK_INSTALL_CMAKE_PROJECTS
       "${ZARVIK_WINDOWS32_BUILD_DIR}" "${PROJECT_NAME}" "${ZARVIK_PACKAGE_COMPONENT}" "/")
endif()
# The Windows exes are linked stripped (CMakeLists.txt): the file the tree
# builds is the one that ships, and the one a signature is put on.
if(NOT WIN32)
  set(CPACK_STRIP_FILES ON)
endif()

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  # The folder ZARVIK is the zip's top level (see the install rules).
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  if(ZARVIK_PACK_WINDOWS32)
    set(CPACK_SYSTEM_NAME windows)
  elseif(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_SYSTEM_NAME win32)
  else()
    set(CPACK_SYSTEM_NAME win64)
  endif()
else()
  set(CPACK_GENERATOR "DEB;TGZ")
  set(CPACK_SYSTEM_NAME linux-amd64)
  set(CPACK_DEBIAN_PACKAGE_NAME zarvik)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The library dependencies (libc6, libstdc++6, libgcc-s1, and libssl3 for
  # libcrypto's SHA-256) as dpkg-shlibdeps reads them off the binary; the
  # packaging test checks that libssl3 is among them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
  # adduser makes the service's user in postinst.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS adduser)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian-control/conffiles
      ${CMAKE_BINARY_DIR}/debian-control/postinst ${CMAKE_BINARY_DIR}/debian-control/prerm
      ${CMAKE_BINARY_DIR}/debian-control/postrm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()
set(CPACK_PACKAGE_FILE_NAME "zarvik-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME}")

include(CPack)
