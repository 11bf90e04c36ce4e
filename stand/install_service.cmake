# Run at install time (cmake --install, cpack): the service unit and the options file of the stand
# for the prefix being installed to. /usr puts them where Debian does; another prefix keeps them
# under it.
set(prefix "${CMAKE_INSTALL_PREFIX}")
if(prefix STREQUAL "/usr")
    set(CMAKE_INSTALL_FULL_SYSCONFDIR /etc)
    set(unit_dir /lib/systemd/system)
else()
    set(CMAKE_INSTALL_FULL_SYSCONFDIR "${prefix}/etc")
    set(unit_dir "${prefix}/lib/systemd/system")
endif()
set(CMAKE_INSTALL_FULL_BINDIR "${prefix}/bin")
set(staged "${ZENTA_INSTALL_GEN}/zenta-stand.service")
configure_file("${ZENTA_INSTALL_SRC}/stand/zenta-stand.service.in" "${staged}" @ONLY)
file(INSTALL "${staged}" DESTINATION "${unit_dir}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(INSTALL "${ZENTA_INSTALL_SRC}/stand/zenta-stand.default" DESTINATION "${CMAKE_INSTALL_FULL_SYSCONFDIR}/default"
     RENAME zenta-stand PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
