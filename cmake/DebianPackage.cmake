# The Debian package: `cpack -G DEB` in a build tree configured with
# CMAKE_INSTALL_PREFIX=/usr (scripts/build-deb.sh) packs what `cmake --install`
# puts there. Its version is the project's; its Depends are what dpkg-shlibdeps
# finds for the programs, plus the SQLite ODBC driver, which the programs load
# at run time and so no link names.

# The changelog records each release; its newest entry must be this one, or
# the package would name a release that its changelog does not.
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/changelog _vorla_changelog_head LIMIT_COUNT 1)
string(REGEX MATCH "^vorla \\(([^)]*)\\)" _vorla_changelog_entry "${_vorla_changelog_head}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "The newest entry of packaging/changelog is for version "
    "'${CMAKE_MATCH_1}', the project's version is ${PROJECT_VERSION}: add an entry for it")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vorla)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER
  "VORLA maintainers <maintainers@users.noreply.c-seed-9a14ff8e.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS libsqliteodbc)
# unixODBC's tools (isql, odbcinst), which the README's first commands use to
# read a data source that VORLA made.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS unixodbc)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "prepares a desktop database and runs a SQL script on it")
# CPack puts the summary on the Description line itself; this is the text below.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "VORLA copies an empty-database template to an output file (after a
numbered backup of a file already there), registers an ODBC data source
for it, runs a SQL script through ODBC in batches, and removes the
temporary data source again, all in one run from command-line options.
.
On POSIX it keeps its registry in a per-user prefix and uses unixODBC
with the SQLite ODBC driver as the embedded default database. The
package holds vorla, the registry command vorla-reg and the prefix
set-up vorla-setup.")
# Installed directories are world-readable whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

include(CPack)
