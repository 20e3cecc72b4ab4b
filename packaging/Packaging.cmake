# The Debian package, `make package`: exactly the install, into /usr.
#
# No maintainer scripts: the desktop, MIME, icon and man databases are refreshed by the dpkg file
# triggers that desktop-file-utils, shared-mime-info, the icon cache and man-db declare on the
# folders these files go to, as for any Debian package.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zumbel)
set(CPACK_PACKAGE_VENDOR Nordwick)
set(CPACK_PACKAGE_CONTACT "${ZUMBEL_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${ZUMBEL_SUMMARY}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${ZUMBEL_HOMEPAGE}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Zumbel lays WAV samples out on a keyboard of pads, with velocity layers\n\
per sound, and MIDI notes play them: live through JACK, PulseAudio or\n\
ALSA, or rendered from a MIDI file into a WAV file. Its window edits a\n\
drum set while MIDI keeps playing it. Its commands describe, check,\n\
relink, render and play drum sets without one. A demo kit and a demo\n\
song come with it.")
# Depends from the libraries the binary links, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# Where the desktop integration takes effect; a package that works without them only recommends.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "jackd2")
# The folders the install creates (usr/, usr/share/…) belong to other packages too; the package
# lists them as dpkg expects, with the usual permissions.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

include(CPack)
