# The Debian package. From a Release build folder, `cpack` makes
# vexameter_<version>_<arch>.deb out of what `cmake --install` puts in place
# under /usr. Its dependencies are the libraries the programs are linked
# against, as dpkg-shlibdeps finds them; the maintainer scripts make udev read
# the board's rule at once.

set(VEXA_MANUTENTORE "The Vexa Meter developers <vexameter@users.noreply.github.com>"
    CACHE STRING "Maintainer named in the Debian package")

# The rule must land where udev and lintian look for packaged rules; a rule
# folder given as an absolute path would take it somewhere else.
if(IS_ABSOLUTE "${VEXA_UDEV_RULES_DIR}" AND NOT VEXA_UDEV_RULES_DIR STREQUAL "/usr/lib/udev/rules.d")
  message(WARNING "VEXA_UDEV_RULES_DIR is ${VEXA_UDEV_RULES_DIR}: the package will carry the udev rule "
                  "there instead of /usr/lib/udev/rules.d")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vexameter)
set(CPACK_PACKAGE_VENDOR "The Vexa Meter developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VEXA_MANUTENTORE}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "training-velocity meter for strength training")
set(CPACK_PACKAGE_DESCRIPTION
"A small board with an incremental position sensor follows a barbell or a
machine carriage and streams its measurements over a serial port or USB.
Vexa Meter finds the board, starts and stops acquisition, draws position,
velocity and acceleration, splits the movement into repetitions (eccentric
and concentric phase) and lists fifteen values per repetition, judging the
mean concentric velocity against the athlete's band.

Every saved set also goes into a training history, where each athlete's
load-velocity profile and estimated one-repetition maximum are drawn.

The package also holds vexa-board-sim, which plays the board on a
pseudo-terminal so the program can be tried without the hardware,
vexameter-replay, which runs recorded captures through the same analysis,
and vexameter-storico, which rebuilds the history and prints a profile from
a script. The user interface is in Italian.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VEXA_MANUTENTORE}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The history opens its database through Qt's SQLite driver, and the club's
# server through its PostgreSQL driver: plugins loaded at run time that no
# program links against, so dpkg-shlibdeps cannot see them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6sql6-psql")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/data/debian/postinst
    ${PROJECT_SOURCE_DIR}/data/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
