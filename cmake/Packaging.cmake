# Packages of the programs, all of one version, the project version:
#   Linux:   install rules and the Debian package (cpack -G DEB in the
#            release build): linewatch_VERSION_ARCH.deb
#   Windows: VERSIONINFO and the icon in every .exe, the NSIS installer
#            (target `installer`: LineWatch-VERSION-win64-setup.exe or
#            -win32-) and the developers' zip of the simulated driver
#            (target `devzip`).
# scripts/package.sh builds them all into dist/.
include(GNUInstallDirs)

set(TARVEL_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(TARVEL_PACKAGING_OUT ${PROJECT_BINARY_DIR}/packaging)
set(TARVEL_PUBLISHER "The LineWatch developers")
set(TARVEL_MAINTAINER "LineWatch developers <linewatch@example.org>")
set(TARVEL_SUMMARY "diagnostic monitor for the Tarvel host-based modem driver")
file(MAKE_DIRECTORY ${TARVEL_PACKAGING_OUT})

# The icon: drawn once as SVG, rendered to PNG at every size the desktops
# and Windows ask for; the Windows .ico holds the sizes up to 256.
set(TARVEL_ICON_SIZES 16 24 32 48 64 128 256)
set(TARVEL_ICO_SIZES 16 24 32 48)  # as bitmaps; 256 goes in as PNG
find_program(TARVEL_RSVG_CONVERT rsvg-convert)
find_program(TARVEL_ICOTOOL icotool)
set(TARVEL_ICON_PNGS)
if(TARVEL_RSVG_CONVERT)
  foreach(size IN LISTS TARVEL_ICON_SIZES)
    set(png ${TARVEL_PACKAGING_OUT}/icons/linewatch-${size}.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${TARVEL_PACKAGING_OUT}/icons
      COMMAND ${TARVEL_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${TARVEL_PACKAGING_DIR}/linewatch.svg
      DEPENDS ${TARVEL_PACKAGING_DIR}/linewatch.svg
      COMMENT "Rendering the icon at ${size}x${size}")
    list(APPEND TARVEL_ICON_PNGS ${png})
  endforeach()
else()
  message(STATUS "rsvg-convert not found (librsvg2-bin): the programs and packages come without icons")
endif()

if(WIN32)
  set(TARVEL_ICO ${TARVEL_PACKAGING_OUT}/linewatch.ico)
  if(TARVEL_ICON_PNGS AND TARVEL_ICOTOOL)
    set(ico_inputs)
    foreach(size IN LISTS TARVEL_ICO_SIZES)
      list(APPEND ico_inputs ${TARVEL_PACKAGING_OUT}/icons/linewatch-${size}.png)
    endforeach()
    add_custom_command(OUTPUT ${TARVEL_ICO}
      COMMAND ${TARVEL_ICOTOOL} -c -o ${TARVEL_ICO} ${ico_inputs} -r ${TARVEL_PACKAGING_OUT}/icons/linewatch-256.png
      DEPENDS ${ico_inputs} ${TARVEL_PACKAGING_OUT}/icons/linewatch-256.png
      COMMENT "Making linewatch.ico")
    set(TARVEL_ICON_LINE "1 ICON \"${TARVEL_ICO}\"")
  else()
    set(TARVEL_ICON_LINE "// no icon: rsvg-convert (librsvg2-bin) or icotool (icoutils) is missing")
    set(TARVEL_ICO)
  endif()
  add_custom_target(linewatch_icon DEPENDS ${TARVEL_ICO})

  # VERSIONINFO (and the icon) for one program: a resource script of its
  # own, compiled with the program.
  function(tarvel_version_resource target description)
    set(TARVEL_FILE_DESCRIPTION "${description}")
    set(TARVEL_ORIGINAL_FILENAME "${target}.exe")
    set(TARVEL_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
    set(rc ${TARVEL_PACKAGING_OUT}/${target}-version.rc)
    configure_file(${TARVEL_PACKAGING_DIR}/version.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
    if(TARVEL_ICO)
      set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES OBJECT_DEPENDS ${TARVEL_ICO})
      add_dependencies(${target} linewatch_icon)
    endif()
  endfunction()

  tarvel_version_resource(LineWatch "LineWatch, the Tarvel modem monitor")
  tarvel_version_resource(recorder "Tarvel session recorder")
  tarvel_version_resource(tarvel-decode "Tarvel offline trace decoder")
  tarvel_version_resource(tarvel-sim "Tarvel simulated driver player (developer tool)")

  # The installer: the three user programs, built by makensis from
  # packaging/linewatch.nsi with this build's version and paths.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(TARVEL_WINDOWS_ARCH win64)
  else()
    set(TARVEL_WINDOWS_ARCH win32)
  endif()
  set(TARVEL_SETUP ${PROJECT_BINARY_DIR}/LineWatch-${PROJECT_VERSION}-${TARVEL_WINDOWS_ARCH}-setup.exe)
  find_program(TARVEL_MAKENSIS makensis)
  if(TARVEL_MAKENSIS)
    add_custom_command(OUTPUT ${TARVEL_SETUP}
      COMMAND ${TARVEL_MAKENSIS} -V2 -NOCD
        -DVERSION=${PROJECT_VERSION}
        -DVERSION_QUAD=${PROJECT_VERSION}.0
        -DARCH=${TARVEL_WINDOWS_ARCH}
        -DPUBLISHER=${TARVEL_PUBLISHER}
        -DOUTFILE=${TARVEL_SETUP}
        -DICON=${TARVEL_ICO}
        -DLINEWATCH_EXE=$<TARGET_FILE:LineWatch>
        -DRECORDER_EXE=$<TARGET_FILE:recorder>
        -DDECODE_EXE=$<TARGET_FILE:tarvel-decode>
        -DREADME=${PROJECT_SOURCE_DIR}/README.md
        -DDOCS=${PROJECT_SOURCE_DIR}/docs
        ${TARVEL_PACKAGING_DIR}/linewatch.nsi
      DEPENDS ${TARVEL_PACKAGING_DIR}/linewatch.nsi LineWatch recorder tarvel-decode ${TARVEL_ICO}
      COMMENT "Making the installer ${TARVEL_SETUP}"
      VERBATIM)
    add_custom_target(installer DEPENDS ${TARVEL_SETUP})
  endif()

  # The developers' zip: the simulated kernel driver and its player, not
  # part of the users' installer.
  set(TARVEL_DEVZIP ${PROJECT_BINARY_DIR}/LineWatch-${PROJECT_VERSION}-${TARVEL_WINDOWS_ARCH}-devtools.zip)
  set(devzip_dir ${TARVEL_PACKAGING_OUT}/devtools)
  add_custom_command(OUTPUT ${TARVEL_DEVZIP}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${devzip_dir}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${devzip_dir}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:tarvel-sim> $<TARGET_FILE:tarvelsim>
            ${TARVEL_PACKAGING_DIR}/devtools-README.txt ${devzip_dir}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${TARVEL_DEVZIP}
    COMMAND ${CMAKE_COMMAND} -E chdir ${devzip_dir} ${CMAKE_COMMAND} -E tar cf ${TARVEL_DEVZIP} --format=zip
            tarvel-sim.exe tarvelsim.sys devtools-README.txt
    DEPENDS tarvel-sim tarvelsim ${TARVEL_PACKAGING_DIR}/devtools-README.txt
    COMMENT "Making the developers' zip ${TARVEL_DEVZIP}"
    VERBATIM)
  add_custom_target(devzip DEPENDS ${TARVEL_DEVZIP})
  return()
endif()

# ---- Linux: what `cmake --install` puts where, and the Debian package.
if(NOT TARGET tarvel-sim OR NOT TARGET recorder)
  return()
endif()

# Packaging installs the four programs only; it builds what it needs
# (scripts/package.sh) instead of everything the configuration has.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
install(TARGETS LineWatch recorder tarvel-decode tarvel-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Man pages and the Debian changelog, compressed as Debian wants them
# (gzip -9, no name or time stamp inside).
set(TARVEL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/linewatch)
string(TIMESTAMP TARVEL_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${TARVEL_PACKAGING_DIR}/changelog.in ${TARVEL_PACKAGING_OUT}/changelog @ONLY)
set(TARVEL_GZIPPED)
set(TARVEL_MAN_PAGES)
foreach(program LineWatch recorder tarvel-decode tarvel-sim)
  set(TARVEL_MAN_VERSION ${PROJECT_VERSION})
  configure_file(${TARVEL_PACKAGING_DIR}/man/${program}.1 ${TARVEL_PACKAGING_OUT}/man/${program}.1 @ONLY)
  list(APPEND TARVEL_MAN_PAGES ${TARVEL_PACKAGING_OUT}/man/${program}.1.gz)
endforeach()
foreach(file IN LISTS TARVEL_MAN_PAGES ITEMS ${TARVEL_PACKAGING_OUT}/changelog.gz)
  string(REGEX REPLACE "\\.gz$" "" plain ${file})
  add_custom_command(OUTPUT ${file}
    COMMAND gzip -9nf -k ${plain}
    DEPENDS ${plain}
    COMMENT "Compressing ${plain}")
  list(APPEND TARVEL_GZIPPED ${file})
endforeach()
add_custom_target(linewatch_package_files ALL DEPENDS ${TARVEL_GZIPPED} ${TARVEL_ICON_PNGS})

install(FILES ${TARVEL_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${TARVEL_PACKAGING_DIR}/linewatch.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TARVEL_PACKAGING_DIR}/linewatch-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME linewatch.xml)
install(FILES ${TARVEL_PACKAGING_DIR}/linewatch.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
if(TARVEL_ICON_PNGS)
  foreach(size IN LISTS TARVEL_ICON_SIZES)
    install(FILES ${TARVEL_PACKAGING_OUT}/icons/linewatch-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME linewatch.png)
  endforeach()
endif()

# Documentation: the README, and beside it docs/ with its pages and
# pictures as the README's links name them.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${TARVEL_PACKAGING_DIR}/copyright
              ${TARVEL_PACKAGING_OUT}/changelog.gz
        DESTINATION ${TARVEL_DOC_DIR})
if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/docs)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${TARVEL_DOC_DIR}/docs
          FILES_MATCHING PATTERN "*.md" PATTERN "*.png")
endif()

# The Debian package. Its dependencies are what dpkg-shlibdeps finds the
# programs linked against, plus Qt's platform plugins, which LineWatch's
# window loads at run time instead of linking them.
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE TARVEL_DEB_ARCH
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT TARVEL_DEB_ARCH)
  set(TARVEL_DEB_ARCH amd64)
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME linewatch)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "${TARVEL_PUBLISHER}")
set(CPACK_PACKAGE_CONTACT "${TARVEL_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/deb)
set(CPACK_DEBIAN_PACKAGE_NAME linewatch)
set(CPACK_DEBIAN_FILE_NAME linewatch_${PROJECT_VERSION}_${TARVEL_DEB_ARCH}.deb)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${TARVEL_DEB_ARCH})
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARVEL_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${TARVEL_SUMMARY}
LineWatch shows what the Tarvel modem driver reports: one line of text for
every status record of each modem, the modems' eye diagrams, and the session
capture files that the driver asks for. It runs as a Qt window or, with
--console, on a terminal.

The package also holds recorder, which copies the modems' session data into
files, tarvel-decode, which decodes recorded traces offline, and tarvel-sim,
a simulated Tarvel driver that plays traces for the other programs.")
include(CPack)
