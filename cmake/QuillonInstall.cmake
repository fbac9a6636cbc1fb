# What `cmake --install` puts where: programs, manual pages, the desktop entry and icon, the
# systemd user unit.
include(GNUInstallDirs)

# systemd's user manager looks in $XDG_DATA_DIRS/systemd/user and $XDG_DATA_HOME/systemd/user,
# so share/ serves /usr, /usr/local and ~/.local alike.
set(QUILLON_SYSTEMD_USER_UNIT_DIR "${CMAKE_INSTALL_DATADIR}/systemd/user" CACHE STRING
    "Where the systemd user unit quillon-play.service is installed, below the prefix")

# quillon_install_man(PAGE): res/man/PAGE, with the version filled in, into man1.
function(quillon_install_man page)
    set(out "${PROJECT_BINARY_DIR}/man/${page}")
    configure_file("${PROJECT_SOURCE_DIR}/res/man/${page}" "${out}" @ONLY)
    install(FILES "${out}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
endfunction()

# quillon_install_user_unit(TEMPLATE EXECUTABLE): the unit made from TEMPLATE when it is
# installed, so that ExecStart names the program where this install puts it (the prefix may
# be given to `cmake --install --prefix` only then).
function(quillon_install_user_unit template executable)
    get_filename_component(name "${template}" NAME_WLE)
    set(out "${PROJECT_BINARY_DIR}/systemd/${name}")
    install(CODE "
        set(QUILLON_PLAY_EXECUTABLE \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${executable}\")
        configure_file(\"${template}\" \"${out}\" @ONLY)
        file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${QUILLON_SYSTEMD_USER_UNIT_DIR}\"
            TYPE FILE FILES \"${out}\")
    ")
endfunction()
