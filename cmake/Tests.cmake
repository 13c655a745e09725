# One test executable per source folder that holds *_test.cpp files. In the
# win32 build CTest runs them under Wine (scripts/wine-run.sh) in a private
# 64-bit prefix under the build folder.
if(HS_WIN32)
  set(HS_GTEST_TARGETS gtest gmock)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)
else()
  set(HS_GTEST_TARGETS GTest::gtest GTest::gmock)
endif()

# Test doubles of the ports (fault-injecting and hand-set adapters): tests
# only, never production code, which cannot see testing/.
file(GLOB _doubles CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/testing/*.cpp)
list(FILTER _doubles EXCLUDE REGEX "/(test_main|test_env)\\.cpp$|_test\\.cpp$")
hs_layer(hs_testing SOURCES ${_doubles} SEES platform testing DEPENDS hs_platform)
if(HS_WIN32)
  # The loopback web server of the update tests serves over Winsock.
  target_link_libraries(hs_testing PUBLIC ws2_32)
endif()

add_library(hs_testmain STATIC testing/test_main.cpp testing/test_env.cpp)
target_compile_definitions(hs_testmain PRIVATE HS_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_link_libraries(hs_testmain PUBLIC hs_core hs_testing ${HS_GTEST_TARGETS})

set(HS_TEST_DIRS platform platform/store platform/contract engine areas backup defrag app ui)
foreach(dir IN LISTS HS_TEST_DIRS)
  file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*_test.cpp)
  if(HS_WIN32)
    file(GLOB _wtests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/win32/*_test.cpp)
  else()
    file(GLOB _wtests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/portable/*_test.cpp)
  endif()
  list(APPEND _tests ${_wtests})
  if(_tests)
    string(REPLACE "/" "_" _name "${dir}")
    set(_target test_${_name})
    add_executable(${_target} ${_tests})
    target_link_libraries(${_target} PRIVATE hs_testmain)
    target_compile_definitions(${_target} PRIVATE HS_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    add_test(NAME ${_target} COMMAND ${_target} --gtest_brief=1)
    set_tests_properties(${_target} PROPERTIES TIMEOUT 900
      ENVIRONMENT "HS_SOURCE_DIR=${CMAKE_SOURCE_DIR};HS_BUILD_DIR=${CMAKE_BINARY_DIR}")
    if(HS_WIN32)
      set_tests_properties(${_target} PROPERTIES LABELS wine FIXTURES_REQUIRED wineprefix)
    else()
      set_tests_properties(${_target} PROPERTIES LABELS native)
    endif()
  endif()
endforeach()

if(HS_WIN32 AND TARGET test_ui)
  # The window's own code (ui/) is a library of the Windows build only.
  target_link_libraries(test_ui PRIVATE hs_ui)
  # Its window tests again on a virtual display (without one they skip).
  add_test(NAME test_ui_display COMMAND xvfb-run -a ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh $<TARGET_FILE:test_ui>
                                        --gtest_brief=1 --gtest_filter=ResultPopupWindow.*)
  set_tests_properties(test_ui_display PROPERTIES LABELS wine FIXTURES_REQUIRED wineprefix TIMEOUT 300 RUN_SERIAL TRUE
    ENVIRONMENT "HS_SOURCE_DIR=${CMAKE_SOURCE_DIR};HS_BUILD_DIR=${CMAKE_BINARY_DIR};HS_REQUIRE_DISPLAY=1")
endif()

if(NOT HS_WIN32 AND TARGET test_platform)
  # The blank hive and hive file tests open and extend hives with hivex.
  target_link_libraries(test_platform PRIVATE PkgConfig::HIVEX PkgConfig::HTTPLIB)
endif()

if(HS_WIN32 AND TARGET test_areas AND TARGET test_app AND TARGET test_engine AND TARGET test_platform_contract)
  # The area tests seed faults into the prefix's registry for seconds at a
  # time; the engine and application tests scan that registry and expect it
  # clean; the whole-registry editor contract imports a whole export, which
  # would bring back what others removed meanwhile.
  set_tests_properties(test_areas test_app test_engine test_platform_contract PROPERTIES RESOURCE_LOCK wine_registry)
endif()

if(HS_WIN32)
  # Create the prefix once per run, before the tests; stop its wineserver after.
  add_test(NAME wine_prefix_setup COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh --prepare)
  set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wineprefix TIMEOUT 300
    ENVIRONMENT "HS_BUILD_DIR=${CMAKE_BINARY_DIR}")
  add_test(NAME wine_prefix_teardown COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh --stop)
  set_tests_properties(wine_prefix_teardown PROPERTIES FIXTURES_CLEANUP wineprefix TIMEOUT 120
    ENVIRONMENT "HS_BUILD_DIR=${CMAKE_BINARY_DIR}")
endif()

if(HS_WIN32)
  # Wine's own whole-registry export loads into the portable store and saves
  # back unchanged (needs the native build's front end).
  set(HS_NATIVE_HIVESWEEP ${CMAKE_SOURCE_DIR}/build/native/hivesweep CACHE FILEPATH "native hivesweep for Wine checks")
  add_test(NAME regedit_export_roundtrip
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/regedit-roundtrip.sh ${HS_NATIVE_HIVESWEEP})
  # Alone: other tests change the registry while it is exported.
  set_tests_properties(regedit_export_roundtrip PROPERTIES LABELS wine FIXTURES_REQUIRED wineprefix TIMEOUT 600 RUN_SERIAL TRUE
    ENVIRONMENT "HS_BUILD_DIR=${CMAKE_BINARY_DIR}")
endif()

if(HS_WIN32)
  # HiveSweep.exe itself under Wine: unattended scans and a second instance.
  add_test(NAME app_end_to_end COMMAND ${CMAKE_SOURCE_DIR}/scripts/app-e2e.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(app_end_to_end PROPERTIES LABELS wine FIXTURES_REQUIRED wineprefix TIMEOUT 600
    RUN_SERIAL TRUE ENVIRONMENT "HS_BUILD_DIR=${CMAKE_BINARY_DIR}")
endif()

if(HS_WIN32)
  # Repair and undo on the real registry, and a repair killed mid-run
  # (whole-registry exports compared by the native front end).
  add_test(NAME repair_undo_end_to_end
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/repair-e2e.sh ${CMAKE_BINARY_DIR} ${HS_NATIVE_HIVESWEEP})
  set_tests_properties(repair_undo_end_to_end PROPERTIES LABELS wine FIXTURES_REQUIRED wineprefix TIMEOUT 900
    RUN_SERIAL TRUE ENVIRONMENT "HS_BUILD_DIR=${CMAKE_BINARY_DIR}")
endif()

if(HS_WIN32)
  # HiveSweep.exe's window under Xvfb: navigation, About box, screenshots;
  # mode scan stays hidden.
  add_test(NAME window_end_to_end COMMAND ${CMAKE_SOURCE_DIR}/scripts/window-e2e.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(window_end_to_end PROPERTIES LABELS wine FIXTURES_REQUIRED wineprefix TIMEOUT 600
    RUN_SERIAL TRUE ENVIRONMENT "HS_BUILD_DIR=${CMAKE_BINARY_DIR}")
endif()

if(HS_WIN32)
  # Scheduled runs under Xvfb: a second instance's scan offer answered Yes in
  # the first; mode scan's result pop-up (screenshot) and its close.
  add_test(NAME unattended_end_to_end COMMAND ${CMAKE_SOURCE_DIR}/scripts/unattended-e2e.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(unattended_end_to_end PROPERTIES LABELS wine FIXTURES_REQUIRED wineprefix TIMEOUT 300
    RUN_SERIAL TRUE ENVIRONMENT "HS_BUILD_DIR=${CMAKE_BINARY_DIR}")
  # The first start's work items in Wine's task scheduler, read back by the
  # front end's `schedule list`.
  add_test(NAME schedule_end_to_end COMMAND ${CMAKE_SOURCE_DIR}/scripts/schedule-e2e.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(schedule_end_to_end PROPERTIES LABELS wine FIXTURES_REQUIRED wineprefix TIMEOUT 300
    RUN_SERIAL TRUE ENVIRONMENT "HS_BUILD_DIR=${CMAKE_BINARY_DIR}")
endif()

if(HS_WIN32)
  # The detailed problem list on the sample machine, in a prefix of its own.
  add_test(NAME problem_list_end_to_end
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/problem-list-e2e.sh ${CMAKE_BINARY_DIR} ${HS_NATIVE_HIVESWEEP})
  set_tests_properties(problem_list_end_to_end PROPERTIES LABELS wine TIMEOUT 900 RUN_SERIAL TRUE)
endif()

if(HS_WIN32 AND TARGET hs_installer)
  # The installer in a prefix of its own: silent installs and what they
  # register, a running program left alone, the installed program's scan,
  # and the uninstaller with and without the user's data.
  add_test(NAME installer_end_to_end
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/installer-e2e.sh ${CMAKE_BINARY_DIR} ${PROJECT_VERSION})
  set_tests_properties(installer_end_to_end PROPERTIES LABELS wine TIMEOUT 600 RUN_SERIAL TRUE)
endif()

if(HS_WIN32)
  # The unattended update check against a loopback update service.
  add_test(NAME update_check_end_to_end
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/update-e2e.sh ${CMAKE_BINARY_DIR} ${PROJECT_VERSION})
  set_tests_properties(update_check_end_to_end PROPERTIES LABELS wine FIXTURES_REQUIRED wineprefix TIMEOUT 300
    RUN_SERIAL TRUE)

  # The native screens (backup, settings) under Xvfb: their texts, a full
  # backup, an exclusion, the schedule page; screenshots.
  add_test(NAME native_screens_end_to_end COMMAND ${CMAKE_SOURCE_DIR}/scripts/screens-e2e.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(native_screens_end_to_end PROPERTIES LABELS wine FIXTURES_REQUIRED wineprefix TIMEOUT 600
    RUN_SERIAL TRUE ENVIRONMENT "HS_BUILD_DIR=${CMAKE_BINARY_DIR}")
  # German, Russian and Japanese: the screens' texts, none cut off;
  # screenshots.
  add_test(NAME languages_end_to_end COMMAND ${CMAKE_SOURCE_DIR}/scripts/languages-e2e.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(languages_end_to_end PROPERTIES LABELS wine FIXTURES_REQUIRED wineprefix TIMEOUT 600
    RUN_SERIAL TRUE ENVIRONMENT "HS_BUILD_DIR=${CMAKE_BINARY_DIR}")
endif()

if(HS_WIN32)
  # HiveSweep.exe carries its pages, icon, dialogs, version and manifest.
  add_test(NAME app_resources COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-resources.sh $<TARGET_FILE:HiveSweep>
                                      ${CMAKE_SOURCE_DIR} ${PROJECT_VERSION})
  set_tests_properties(app_resources PROPERTIES LABELS wine TIMEOUT 60)
endif()

# The front end scans (the sample machine natively, the live registry under Wine).
if(HS_WIN32)
  add_test(NAME cli_scan COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh $<TARGET_FILE:hivesweep> scan --data "C:\\hivesweep-cli-data")
  set_tests_properties(cli_scan PROPERTIES LABELS wine FIXTURES_REQUIRED wineprefix TIMEOUT 300
    ENVIRONMENT "HS_BUILD_DIR=${CMAKE_BINARY_DIR}")
else()
  add_test(NAME cli_scan COMMAND hivesweep scan --machine ${CMAKE_SOURCE_DIR}/samples/demo-machine
                                   --data ${CMAKE_BINARY_DIR}/cli-scan-data)
  set_tests_properties(cli_scan PROPERTIES LABELS native TIMEOUT 120)
  add_test(NAME cli_repair_undo COMMAND ${CMAKE_SOURCE_DIR}/scripts/cli-repair.sh $<TARGET_FILE:hivesweep>
                                         ${CMAKE_SOURCE_DIR}/samples/demo-machine ${CMAKE_BINARY_DIR}/cli-repair-data)
  set_tests_properties(cli_repair_undo PROPERTIES LABELS native TIMEOUT 300)
  add_test(NAME cli_full_backup COMMAND ${CMAKE_SOURCE_DIR}/scripts/cli-backup.sh $<TARGET_FILE:hivesweep>
                                         ${CMAKE_SOURCE_DIR}/samples/demo-machine ${CMAKE_BINARY_DIR}/cli-backup-data)
  set_tests_properties(cli_full_backup PROPERTIES LABELS native TIMEOUT 300)
  # Bad arguments end with exit status 2 exactly (1 would be a failed run).
  add_test(NAME cli_bad_arguments COMMAND sh -c "\"$1\" scan --bogus; test $? -eq 2" sh $<TARGET_FILE:hivesweep>)
  set_tests_properties(cli_bad_arguments PROPERTIES LABELS native TIMEOUT 60)
  # A blank hive and one extended by hivex, read by a second, independent reader.
  # The layers: an engine source cannot include a header of app/ (its include
  # root has no app/ folder), while one of its own layer compiles.
  file(WRITE ${CMAKE_BINARY_DIR}/layer_probe_up.cpp "#include \"app/settings.h\"\n")
  file(WRITE ${CMAKE_BINARY_DIR}/layer_probe_own.cpp "#include \"engine/scan_context.h\"\n")
  foreach(_probe up own)
    add_test(NAME layers_${_probe}_include
             COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -fsyntax-only -I${CMAKE_BINARY_DIR}/layers/hs_engine
                     ${CMAKE_BINARY_DIR}/layer_probe_${_probe}.cpp)
    set_tests_properties(layers_${_probe}_include PROPERTIES LABELS native TIMEOUT 60)
  endforeach()
  set_tests_properties(layers_up_include PROPERTIES PASS_REGULAR_EXPRESSION "app/settings\\.h: No such file")
  add_test(NAME blank_hive_check COMMAND ${CMAKE_SOURCE_DIR}/scripts/blank-hive-check.sh
                                          $<TARGET_FILE:hs_make_blank_hive> ${CMAKE_BINARY_DIR}/blank-hive-check)
  set_tests_properties(blank_hive_check PROPERTIES LABELS native TIMEOUT 120)
  # Analysis, installation, boot step and summary on fragmented hive files.
  add_test(NAME defrag_end_to_end COMMAND ${CMAKE_SOURCE_DIR}/scripts/defrag-e2e.sh $<TARGET_FILE:hivesweep>
                                           $<TARGET_FILE:hs_hive_fixture> ${CMAKE_BINARY_DIR}/defrag-e2e)
  set_tests_properties(defrag_end_to_end PROPERTIES LABELS native TIMEOUT 180)
endif()

if(HS_WIN32)
  # A full registry backup taken and restored by the front end on the real
  # registry (both views), and damaged backups refused (whole-registry exports
  # compared by the native front end).
  add_test(NAME full_backup_end_to_end
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/full-backup-e2e.sh ${CMAKE_BINARY_DIR} ${HS_NATIVE_HIVESWEEP})
  set_tests_properties(full_backup_end_to_end PROPERTIES LABELS wine FIXTURES_REQUIRED wineprefix TIMEOUT 600
    RUN_SERIAL TRUE ENVIRONMENT "HS_BUILD_DIR=${CMAKE_BINARY_DIR}")
endif()

if(NOT HS_WIN32)
  # The portable page host: access rules, bridge and loop (native only).
  file(GLOB _web_tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/app/web/*_test.cpp)
  add_executable(test_app_web ${_web_tests})
  target_link_libraries(test_app_web PRIVATE hs_testmain hs_web)
  add_test(NAME test_app_web COMMAND test_app_web --gtest_brief=1)
  set_tests_properties(test_app_web PROPERTIES LABELS native TIMEOUT 120)
  # The pages in headless Chromium: `hivesweep gui` on a copy of the sample
  # machine, scanned, repaired and shown page by page; screenshots of every
  # page go to gui-browser/ in the build folder. Not in the sanitizer build:
  # the flow's page changes are timed by the browser, and a sanitized server
  # once missed the results page's 30 s wait.
  if(NOT HS_SANITIZE)
    add_test(NAME gui_browser COMMAND node ${CMAKE_SOURCE_DIR}/tests/browser/gui_flow.js $<TARGET_FILE:hivesweep>
                                     ${CMAKE_SOURCE_DIR}/samples/demo-machine ${CMAKE_BINARY_DIR}/gui-browser)
    set_tests_properties(gui_browser PROPERTIES LABELS native TIMEOUT 180)
  endif()
endif()
