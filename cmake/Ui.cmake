# The window of HiveSweep.exe (ui/) and the program's resources: Windows only.
enable_language(RC)

# hs_ui itself is the top layer (CMakeLists.txt); here its system libraries
# and the generated headers.
target_include_directories(hs_ui PRIVATE ${CMAKE_BINARY_DIR})
target_link_libraries(hs_ui PUBLIC comctl32 ole32 oleaut32 uuid gdi32 user32 shell32)

# Every file of app/pages becomes an HTML resource named by its upper-cased
# file name, so the pages' relative links resolve (res://EXE/HS.CSS); the
# numbered pages also go by their numbers. A page that does not exist yet is
# stood in for by a placeholder, so the program builds before the pages do.
set(HS_NUMBERED_PAGES home.html=444 scan_settings.html=446 scan_progress.html=447 results.html=448
    list_loading.html=455 after_repair.html=AFTER_REPAIR.HTML optimisation.html=OPTIMISATION.HTML)
file(GLOB HS_PAGE_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/app/pages/*)
set(_rc "// Generated from app/pages at configure time.\n")
set(_named)
foreach(_file IN LISTS HS_PAGE_FILES)
  if(IS_DIRECTORY ${_file})
    continue()
  endif()
  get_filename_component(_name ${_file} NAME)
  string(TOUPPER "${_name}" _res)
  list(APPEND _named ${_res})
  string(APPEND _rc "${_res} 23 \"${_file}\"\n")
endforeach()
foreach(_pair IN LISTS HS_NUMBERED_PAGES)
  string(REPLACE "=" ";" _pair "${_pair}")
  list(GET _pair 0 _name)
  list(GET _pair 1 _res)
  set(_file ${CMAKE_SOURCE_DIR}/app/pages/${_name})
  if(NOT EXISTS ${_file})
    set(_file ${CMAKE_SOURCE_DIR}/ui/placeholder.html)
  endif()
  if(_res MATCHES "^[0-9]+$")
    string(APPEND _rc "${_res} 23 \"${_file}\"\n")
  elseif(NOT _res IN_LIST _named)
    string(APPEND _rc "${_res} 23 \"${_file}\"\n")
  endif()
endforeach()
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/hs_pages.rc CONTENT "${_rc}" @ONLY)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/hs_build_info.h CONTENT
"#define HS_VERSION_MAJOR ${PROJECT_VERSION_MAJOR}
#define HS_VERSION_MINOR ${PROJECT_VERSION_MINOR}
#define HS_VERSION_PATCH ${PROJECT_VERSION_PATCH}
#define HS_VERSION_TEXT \"${PROJECT_VERSION}\"
" @ONLY)
set_property(SOURCE ${CMAKE_SOURCE_DIR}/ui/hivesweep.rc APPEND PROPERTY OBJECT_DEPENDS
             ${CMAKE_BINARY_DIR}/hs_pages.rc ${HS_PAGE_FILES} ${CMAKE_SOURCE_DIR}/ui/hivesweep.ico
             ${CMAKE_SOURCE_DIR}/ui/hivesweep.manifest ${CMAKE_SOURCE_DIR}/ui/placeholder.html)
