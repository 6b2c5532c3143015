# The Debian package (CPack's DEB generator), built by `./build.sh package`:
# build/habitorium-rent-analysis_<version>_amd64.deb with the program and the
# sample generator in /usr/bin, the menu entry and its icon in the hicolor
# theme, AppStream metainfo, manual pages, the copyright and changelog files
# Debian asks for. Dependencies come from the binaries (dpkg-shlibdeps); the
# ODBC drivers the tool can reach a database through are recommended.
include(GNUInstallDirs)
set(linux_dir ${PROJECT_SOURCE_DIR}/packaging/linux)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${PROJECT_NAME})

install(TARGETS habitorium-rent-analysis habitorium-sample-db RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${linux_dir}/habitorium-rent-analysis.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${linux_dir}/habitorium-rent-analysis.metainfo.xml.in
    ${CMAKE_BINARY_DIR}/package/habitorium-rent-analysis.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/habitorium-rent-analysis.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size ${HABITORIUM_ICON_SIZES})
    install(FILES ${CMAKE_BINARY_DIR}/icons/habitorium-rent-analysis-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME habitorium-rent-analysis.png)
endforeach()

# Manual pages and the changelog gzip-compressed without a time stamp, as Debian wants them.
find_program(HABITORIUM_GZIP gzip REQUIRED)
configure_file(${linux_dir}/changelog ${CMAKE_BINARY_DIR}/package/changelog @ONLY)
set(compressed "")
foreach(source ${linux_dir}/habitorium-rent-analysis.1 ${linux_dir}/habitorium-sample-db.1
               ${CMAKE_BINARY_DIR}/package/changelog)
    get_filename_component(name ${source} NAME)
    set(output ${CMAKE_BINARY_DIR}/package/${name}.gz)
    add_custom_command(OUTPUT ${output}
        COMMAND ${HABITORIUM_GZIP} -9 -n -c ${source} > ${output}
        DEPENDS ${source}
        VERBATIM)
    list(APPEND compressed ${output})
endforeach()
add_custom_target(package_files ALL DEPENDS ${compressed})
install(FILES ${CMAKE_BINARY_DIR}/package/habitorium-rent-analysis.1.gz ${CMAKE_BINARY_DIR}/package/habitorium-sample-db.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/package/changelog.gz ${linux_dir}/copyright DESTINATION ${doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR ${HABITORIUM_COMPANY})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "check and repair tenants' rental periods against the money received")
# The extended description; CPack puts the summary before it and indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Habitorium Rent Analysis stands beside the Habitorium rental-property
application and works on its database. Pick a tenant and it shows the money
received against what the tenant's rental periods record as paid and due;
when they disagree it hands the money out again over the periods, for one
tenant or for all of them, and a repair can be undone.

The package also holds habitorium-sample-db, which writes a sample database.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Habitorium <support@habitorium.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsqliteodbc, odbc-postgresql")
# The package's own output, beside the build, not in a _CPack_Packages tree.
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
include(CPack)
