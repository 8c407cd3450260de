# Install step of Servidores.gdb, Backup.fdb and QuillbaseBackup.conf
# (QB_DATABASE_SOURCE_DIR is set just before this script runs). An
# installation folder that already holds one of them keeps it: it lists the
# office's servers, holds the log of every backup or says which engine
# serves them, and a new installation over an old one must not change that.
foreach(database Servidores.gdb Backup.fdb QuillbaseBackup.conf)
  set(installed "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${database}")
  if(EXISTS "${installed}")
    message(STATUS "Kept: ${installed}")
  else()
    file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}" TYPE FILE
      PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
      FILES "${QB_DATABASE_SOURCE_DIR}/${database}")
  endif()
endforeach()
