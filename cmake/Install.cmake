# Installing Glyphora as a desktop program (`cmake --install`, `make install`) and its Debian package
# (`cpack -G DEB`, `make package`). Only the program, the tool and their data files are installed: never a
# test program, a fuzzer or a benchmark.

include(GNUInstallDirs)

# The one name the desktop entry, the AppStream metainfo and the icon share.
set(GLYPHORA_APP_ID io.github.glyphora.Glyphora)
set(GLYPHORA_ICON_SIZES 16 22 24 32 48 64 128 256)

# Installing never builds: `make install` and `make package` build the two programs first, and a packaging
# run from the test build must not rebuild every test program on the way.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(glyphora_data ${PROJECT_SOURCE_DIR}/data)
set(glyphora_docs ${PROJECT_SOURCE_DIR}/docs)

install(TARGETS glyphora-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${glyphora_docs}/glyphora-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${glyphora_data}/completion/glyphora-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/glyphora
        RENAME copyright)

if(TARGET glyphora)
    install(TARGETS glyphora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${glyphora_docs}/glyphora.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${glyphora_data}/${GLYPHORA_APP_ID}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${glyphora_data}/${GLYPHORA_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    set(glyphora_icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
    install(FILES ${glyphora_data}/icons/${GLYPHORA_APP_ID}.svg DESTINATION ${glyphora_icons}/scalable/apps)
    # The PNGs are made once from the SVG (see data/icons/README.md), so building needs no converter.
    foreach(size IN LISTS GLYPHORA_ICON_SIZES)
        install(FILES ${glyphora_data}/icons/png/${size}.png
                DESTINATION ${glyphora_icons}/${size}x${size}/apps RENAME ${GLYPHORA_APP_ID}.png)
    endforeach()
endif()

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME glyphora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Glyphora developers")
set(CPACK_PACKAGE_CONTACT "Glyphora developers <glyphora@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "compose Japanese text art (AA) from parts")
# The long description, in lines of a terminal's width as Debian's tools show it.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Glyphora composes Japanese text art (AA) out of positioned blocks of\n"
    "Shift_JIS text. Parts are placed on pages and kept for reuse in a library;\n"
    "each page renders into text whose blanks are filled with spaces of known\n"
    "widths, so the picture stays aligned in the proportional font it was drawn\n"
    "for (MS PGothic, or Monapo with the same widths).\n"
    ".\n"
    "The command-line tool glyphora-cli renders, converts, imports and inspects\n"
    "the same files without a window.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://github.com/glyphora/glyphora")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Monapo has the widths AA is drawn for; the Japanese Qt translations name the dialogs' buttons.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
find_program(GLYPHORA_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(GLYPHORA_FILE file)
if(GLYPHORA_DPKG_SHLIBDEPS AND GLYPHORA_FILE)
    # The libraries with the versions the binaries need, as dpkg knows them; the font is no library.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-monapo")
else()
    set(glyphora_deps libc6 libstdc++6 libgcc-s1 libfreetype6 libfontconfig1 libsqlite3-0 libzip4 libutf8proc2 libpng16-16)
    if(TARGET glyphora)
        list(APPEND glyphora_deps "libqt6core6 (>= 6.2)" "libqt6gui6 (>= 6.2)" "libqt6widgets6 (>= 6.2)")
    endif()
    list(APPEND glyphora_deps fonts-monapo)
    list(JOIN glyphora_deps ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
endif()

include(CPack)
