# Install step of Servidores.gdb and Backup.fdb (QB_DATABASE_SOURCE_DIR is set
# just before this script runs). An installation folder that already holds
# one of them keeps it: it lists the office's servers or holds the log of
# every backup, and a new installation over an old one must not empty them.
foreach(database Servidores.gdb Backup.fdb)
  set(installed "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${database}")
  if(EXISTS "${installed}")
    message(STATUS "Kept: ${installed}")
  else()
    file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}" TYPE FILE
      PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
      FILES "${QB_DATABASE_SOURCE_DIR}/${database}")
  endif()
endforeach()
