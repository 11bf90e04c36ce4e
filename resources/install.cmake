# Install rules (cmake --install, GNUInstallDirs) and the Debian packages zenta-oprch and zenta-stand
# (cpack -G DEB; scripts/package.sh). Two components, one package each.
set(ZENTA_INSTALL_GEN ${CMAKE_BINARY_DIR}/install-files)
set(ZENTA_MAINTAINER "ZENTA.OPRCh developers <zenta-oprch@zenta.example>")
string(TIMESTAMP ZENTA_BUILD_DATE "%a, %d %b %Y 00:00:00 +0000" UTC)

# Man pages and changelogs compressed as Debian wants them; the version comes from the project.
set(ZENTA_GZ_FILES)
foreach(page resources/zenta-oprch.1 stand/zenta-stand.1)
    get_filename_component(name ${page} NAME)
    configure_file(${page} ${ZENTA_INSTALL_GEN}/${name} @ONLY)
    list(APPEND ZENTA_GZ_FILES ${ZENTA_INSTALL_GEN}/${name})
endforeach()
foreach(package zenta-oprch zenta-stand)
    file(WRITE ${ZENTA_INSTALL_GEN}/${package}/changelog
        "${package} (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
        "  * Release ${PROJECT_VERSION}.\n\n"
        " -- ${ZENTA_MAINTAINER}  ${ZENTA_BUILD_DATE}\n")
    list(APPEND ZENTA_GZ_FILES ${ZENTA_INSTALL_GEN}/${package}/changelog)
endforeach()
set(ZENTA_GZ_OUTPUTS)
foreach(file ${ZENTA_GZ_FILES})
    add_custom_command(OUTPUT ${file}.gz COMMAND gzip -9nkf ${file} DEPENDS ${file} VERBATIM)
    list(APPEND ZENTA_GZ_OUTPUTS ${file}.gz)
endforeach()
add_custom_target(zenta_install_files ALL DEPENDS ${ZENTA_GZ_OUTPUTS})
configure_file(resources/zenta-oprch.metainfo.xml ${ZENTA_INSTALL_GEN}/ru.zenta.oprch.metainfo.xml @ONLY)

# The client.
install(TARGETS zenta-oprch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT oprch)
install(FILES resources/zenta-oprch.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT oprch)
install(FILES ${ZENTA_INSTALL_GEN}/ru.zenta.oprch.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
    COMPONENT oprch)
foreach(size 48 128 256)
    install(FILES resources/icons/zenta-oprch-${size}.png RENAME zenta-oprch.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps COMPONENT oprch)
endforeach()
install(FILES resources/img/src/zenta-oprch.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    COMPONENT oprch)
install(FILES resources/sound/Alarm.wav DESTINATION ${CMAKE_INSTALL_DATADIR}/zenta-oprch COMPONENT oprch)
install(FILES ${ZENTA_INSTALL_GEN}/zenta-oprch.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT oprch)

# The stand.
install(TARGETS zenta-stand RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT stand)
install(FILES ${ZENTA_INSTALL_GEN}/zenta-stand.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT stand)
install(FILES stand/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zenta-stand COMPONENT stand)
# The service unit and its options file name the installed program and live where systemd and
# the administrator look, so they are placed for the prefix given at install time (cpack: /usr).
install(CODE "
    set(ZENTA_INSTALL_SRC \"${CMAKE_SOURCE_DIR}\")
    set(ZENTA_INSTALL_GEN \"${ZENTA_INSTALL_GEN}\")
    include(\"${CMAKE_SOURCE_DIR}/stand/install_service.cmake\")
" COMPONENT stand)

foreach(package zenta-oprch zenta-stand)
    string(REPLACE "zenta-" "" component ${package})
    install(FILES resources/copyright ${ZENTA_INSTALL_GEN}/${package}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zenta)
set(CPACK_PACKAGE_VENDOR "ZENTA.OPRCh developers")
set(CPACK_PACKAGE_CONTACT "${ZENTA_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL oprch stand)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZENTA_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_OPRCH_PACKAGE_NAME zenta-oprch)
set(CPACK_DEBIAN_OPRCH_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_OPRCH_PACKAGE_DEPENDS "libqt5multimedia5-plugins, qttranslations5-l10n, libqt5sql5-sqlite")
# A shared episode register on a PostgreSQL server needs its Qt driver; the SQLite one is the default.
set(CPACK_DEBIAN_OPRCH_PACKAGE_RECOMMENDS "libqt5sql5-psql")
set(CPACK_COMPONENT_OPRCH_DESCRIPTION
    "primary frequency regulation monitor for power stations
Operators of a power station log in to the station's SCADA server and watch
how its generating units take part in general primary regulation of
frequency and power: the objects as a tree, frequency, power and calculated
power live or for a period, events with a sound and their acknowledgement,
object settings, and archived data exported to CSV and ZIP.
.
ЗЕНТА.ОПРЧ: наблюдение за участием энергоблоков станции в общем первичном
регулировании частоты и мощности (ОПРЧ) по данным сервера SCADA: дерево
объектов, тренды частоты и мощности, события со звуком и квитированием,
настройки объектов, выгрузка архива в CSV и ZIP.")
set(CPACK_DEBIAN_STAND_PACKAGE_NAME zenta-stand)
set(CPACK_DEBIAN_STAND_PACKAGE_SECTION net)
set(CPACK_COMPONENT_STAND_DESCRIPTION
    "stand-in for a power station's SCADA server (training, demos, tests)
zenta-stand speaks the ZENTA.OPRCh client's wire protocol, keeps its tables
and the measurement archive in SQLite and simulates two power stations live:
a grid frequency like that of a real day, random disturbances and units with
their own governor physics. A systemd unit is installed disabled.
.
Стенд сервера SCADA для обучения, демонстрации и проверки клиента ЗЕНТА.ОПРЧ:
моделирует частоту сети, возмущения и энергоблоки со своими регуляторами.
Служба systemd устанавливается выключенной.")
set(CPACK_DEBIAN_STAND_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/stand/conffiles)
include(CPack)
