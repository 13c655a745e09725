# zlib + minizip. Natively both come from Debian's -dev packages. For MinGW,
# Debian ships zlib (libz-mingw-w64-dev) but no minizip: scripts/setup.sh
# fetches Debian's minizip sources into .deps/minizip and they are built here.
if(HS_WIN32)
  add_library(hs_zlib INTERFACE)
  target_link_libraries(hs_zlib INTERFACE /usr/i686-w64-mingw32/lib/libz.a)
  set(HS_MINIZIP_DIR ${CMAKE_SOURCE_DIR}/.deps/minizip CACHE PATH "minizip sources for the MinGW build")
  if(NOT EXISTS ${HS_MINIZIP_DIR}/zip.c)
    message(FATAL_ERROR "minizip sources missing in ${HS_MINIZIP_DIR}: run scripts/setup.sh")
  endif()
  add_library(hs_minizip STATIC ${HS_MINIZIP_DIR}/zip.c ${HS_MINIZIP_DIR}/unzip.c
              ${HS_MINIZIP_DIR}/ioapi.c ${HS_MINIZIP_DIR}/iowin32.c)
  target_include_directories(hs_minizip SYSTEM PUBLIC ${HS_MINIZIP_DIR})
  target_compile_options(hs_minizip PRIVATE -w)
  target_link_libraries(hs_minizip PUBLIC hs_zlib)
else()
  find_package(ZLIB REQUIRED)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
  # The portable XML writer (the Win32 one uses the system's XmlLite).
  pkg_check_modules(LIBXML2 REQUIRED IMPORTED_TARGET libxml-2.0)
  # The portable shell-links adapter reads shortcut files with liblnk (from
  # memory, through libbfio).
  pkg_check_modules(LIBLNK REQUIRED IMPORTED_TARGET liblnk libbfio)
  # Registry hive files are opened and extended with hivex.
  pkg_check_modules(HIVEX REQUIRED IMPORTED_TARGET hivex)
  # The portable page host of `hivesweep gui` serves its pages with cpp-httplib.
  pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
  # The portable web client (update checks) and its SHA-256 digests.
  find_package(CURL REQUIRED)
  find_package(OpenSSL REQUIRED)
  add_library(hs_zlib INTERFACE)
  target_link_libraries(hs_zlib INTERFACE ZLIB::ZLIB)
  add_library(hs_minizip INTERFACE)
  target_link_libraries(hs_minizip INTERFACE PkgConfig::MINIZIP)
endif()

if(HS_TESTS)
  if(HS_WIN32)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  else()
    find_package(GTest REQUIRED)
  endif()
endif()
