# Unit tests: one GoogleTest executable per library (<lib>_tests), from <lib>/tests/*.cpp and,
# in the Windows builds, <lib>/tests/win/*.cpp. Natively they run directly; in both Windows builds
# they run under Wine (the i686 build under Wine's 32-bit half) inside the build's "wine" fixture,
# which starts Xvfb and a project-local Wine prefix and stops them after.
# End-to-end tests are tests/e2e/test_*.py, one CTest test per case (e2e.<build>.<file>.<case>),
# run against the build's real Vorlune.scr by way of the host helper.
# On a machine whose kernel cannot execute 32-bit programs the win32 runs exit with 77: skipped.
set(VORLUNE_WINE_TESTS OFF)
if(VORLUNE_WINDOWS)
  set(VORLUNE_WINE_TESTS ON)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(wine_build win64)
    set(other_build win32)
  else()
    set(wine_build win32)
    set(other_build win64)
  endif()
  # The other Windows build beside this one (build/win32 beside build/win64), for the mixed pairs.
  get_filename_component(build_parent ${CMAKE_BINARY_DIR} DIRECTORY)
  set(VORLUNE_OTHER_BUILD ${build_parent}/${other_build} CACHE PATH "The other Windows build, for mixed host and saver tests")
endif()
set(wine_dir ${CMAKE_SOURCE_DIR}/tests/wine)

function(vorlune_e2e_test name script case)
  add_test(NAME ${name} COMMAND python3 ${script} ${CMAKE_BINARY_DIR} ${case})
  set(environment "PYTHONPATH=${CMAKE_SOURCE_DIR}/tests/e2e" ${ARGN})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wine_display TIMEOUT 900
    SKIP_RETURN_CODE 77 ENVIRONMENT "${environment}")
endfunction()

if(VORLUNE_WINE_TESTS)
  add_test(NAME wine.${wine_build}.start COMMAND ${wine_dir}/start.sh ${CMAKE_BINARY_DIR})
  add_test(NAME wine.${wine_build}.stop COMMAND ${wine_dir}/stop.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(wine.${wine_build}.start PROPERTIES FIXTURES_SETUP wine)
  set_tests_properties(wine.${wine_build}.stop PROPERTIES FIXTURES_CLEANUP wine)
endif()

# The cases a test script names (--cases): each becomes a CTest test of its own, so a failure
# names it and ctest -R runs it alone.
function(vorlune_script_cases script out)
  execute_process(COMMAND python3 ${script} --cases OUTPUT_VARIABLE cases OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE listed)
  if(NOT listed EQUAL 0 OR cases STREQUAL "")
    message(FATAL_ERROR "${script} --cases did not list its cases")
  endif()
  separate_arguments(cases)
  set(${out} ${cases} PARENT_SCOPE)
endfunction()

if(VORLUNE_X11)
  # The Debian package's description and man page against the program (tests/package/ tests the
  # package itself in scripts/release.sh).
  add_test(NAME package.description COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/package/check_description.py
    $<TARGET_FILE:vorlune>)
  add_test(NAME x11.start COMMAND ${CMAKE_SOURCE_DIR}/tests/x11/start.sh ${CMAKE_BINARY_DIR})
  add_test(NAME x11.stop COMMAND ${CMAKE_SOURCE_DIR}/tests/x11/stop.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(x11.start PROPERTIES FIXTURES_SETUP xvfb)
  set_tests_properties(x11.stop PROPERTIES FIXTURES_CLEANUP xvfb)

  # The Linux program end to end on the fixture's display: tests/e2e/x11_*.py, one CTest test per
  # case (e2e.linux.<file>.<case>) in the optimised build; the sanitized build runs the memory case
  # made for it (the program under ASan and UBSan).
  function(vorlune_x11_e2e_test name script case)
    add_test(NAME ${name} COMMAND python3 ${script} ${CMAKE_BINARY_DIR} ${case})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED xvfb RESOURCE_LOCK x11_display TIMEOUT 600
      SKIP_RETURN_CODE 77 ENVIRONMENT "PYTHONPATH=${CMAKE_SOURCE_DIR}/tests/e2e")
  endfunction()
  if(VORLUNE_SANITIZE)
    vorlune_x11_e2e_test(e2e.native.memory.sanitizers ${CMAKE_SOURCE_DIR}/tests/e2e/x11_memory.py sanitizers)
  else()
    file(GLOB x11_e2e_tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/x11_*.py)
    foreach(t IN LISTS x11_e2e_tests)
      get_filename_component(name ${t} NAME_WE)
      string(REGEX REPLACE "^x11_" "" short ${name})
      vorlune_script_cases(${t} cases)
      list(REMOVE_ITEM cases sanitizers)
      foreach(c IN LISTS cases)
        vorlune_x11_e2e_test(e2e.linux.${short}.${c} ${t} ${c})
      endforeach()
    endforeach()
  endif()
endif()

foreach(dir IN LISTS VORLUNE_LIBS)
  file(GLOB test_sources CONFIGURE_DEPENDS ${dir}/tests/*.cpp)
  if(VORLUNE_WINDOWS)
    file(GLOB win_test_sources CONFIGURE_DEPENDS ${dir}/tests/win/*.cpp)
    list(APPEND test_sources ${win_test_sources})
  elseif(VORLUNE_X11)
    file(GLOB x11_test_sources CONFIGURE_DEPENDS ${dir}/tests/x11/*.cpp)
    list(APPEND test_sources ${x11_test_sources})
  endif()
  if(NOT test_sources)
    continue()
  endif()
  add_executable(${dir}_tests ${test_sources})
  target_link_libraries(${dir}_tests PRIVATE ${dir} gtest gmock gtest_main)
  if(NOT VORLUNE_WINDOWS)
    add_test(NAME ${dir}_tests COMMAND ${dir}_tests)
    if(VORLUNE_X11)
      # The X11 backend's tests draw on the fixture's private Xvfb display.
      set_tests_properties(${dir}_tests PROPERTIES FIXTURES_REQUIRED xvfb RESOURCE_LOCK x11_display
        ENVIRONMENT "VORLUNE_XVFB_DIR=${CMAKE_BINARY_DIR}/xvfb")
    endif()
  elseif(VORLUNE_WINE_TESTS)
    add_test(NAME unit.${wine_build}.${dir} COMMAND ${wine_dir}/run.sh ${CMAKE_BINARY_DIR} $<TARGET_FILE:${dir}_tests>)
    set_tests_properties(unit.${wine_build}.${dir} PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wine_display
      TIMEOUT 600 SKIP_RETURN_CODE 77)
  endif()
endforeach()

if(VORLUNE_WINDOWS)
  # Both Windows builds: the executable's imports, subsystem and version record.
  add_test(NAME pe_check.${wine_build} COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/pe_check.py
    ${CMAKE_BINARY_DIR}/Vorlune.scr ${CMAKE_SYSTEM_PROCESSOR})
  file(GLOB host_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/host/*.cpp)
  if(host_sources)
    add_executable(host WIN32 ${host_sources})
    target_link_libraries(host PRIVATE user32 gdi32)
    set_target_properties(host PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  endif()
endif()

# One program per <lib>/bench/<platform>/*.cpp, linked with the libraries named after `own`, and
# with its folder's library when own is ALL, or for soak_*.cpp alone when it is SOAK.
function(vorlune_bench_programs platform own)
  foreach(dir IN LISTS VORLUNE_LIBS)
    file(GLOB sources CONFIGURE_DEPENDS ${dir}/bench/${platform}/*.cpp)
    foreach(b IN LISTS sources)
      get_filename_component(name ${b} NAME_WE)
      add_executable(${name} ${b})
      target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
      if(ARGN)
        target_link_libraries(${name} PRIVATE ${ARGN})
      endif()
      if(own STREQUAL "ALL" OR name MATCHES "^soak_")
        target_link_libraries(${name} PRIVATE ${dir})
      endif()
    endforeach()
  endforeach()
endfunction()

# Windows benchmark programs (<lib>/bench/win/*.cpp): built in the Windows builds, run by hand
# under Wine (tests/wine/run.sh), never by ctest.
if(VORLUNE_WINDOWS)
  vorlune_bench_programs(win ALL)
endif()

# Linux benchmark programs (<lib>/bench/x11/*.cpp): bare Xlib, GLX and OpenGL, none of the
# project's libraries; run by scripts/perf.sh, never by ctest. soak_*.cpp are the exception: the
# saver's own loop, linked from its folder's library (scripts/soak_x11.sh).
if(VORLUNE_X11)
  vorlune_bench_programs(x11 SOAK OpenGL::OpenGL OpenGL::GLX X11::X11)
endif()

if(VORLUNE_WINE_TESTS)
  file(GLOB e2e_tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/test_*.py)
  foreach(t IN LISTS e2e_tests)
    get_filename_component(name ${t} NAME_WE)
    string(REGEX REPLACE "^test_" "" short ${name})
    vorlune_script_cases(${t} cases)
    foreach(c IN LISTS cases)
      vorlune_e2e_test(e2e.${wine_build}.${short}.${c} ${t} ${c})
    endforeach()
  endforeach()
  # What a real Windows machine also has: the settings dialog of 64-bit Windows (a 64-bit host)
  # showing the 32-bit saver's preview, and a 32-bit host starting the 64-bit saver.
  if(wine_build STREQUAL "win32")
    set(preview ${CMAKE_SOURCE_DIR}/tests/e2e/test_preview.py)
    vorlune_e2e_test(e2e.win32.mixed.host64_saver32_preview ${preview} decimal_400x300
      "VORLUNE_E2E_HOST=${VORLUNE_OTHER_BUILD}/host.exe")
    vorlune_e2e_test(e2e.win32.mixed.host32_saver64_preview ${preview} decimal_400x300
      "VORLUNE_E2E_SAVER=${VORLUNE_OTHER_BUILD}/Vorlune.scr")
    set(about ${CMAKE_SOURCE_DIR}/tests/e2e/test_about.py)
    vorlune_e2e_test(e2e.win32.mixed.host32_saver64_about ${about} slash_c
      "VORLUNE_E2E_SAVER=${VORLUNE_OTHER_BUILD}/Vorlune.scr")
    # The setup program (a 32-bit program) built from both savers, installed and removed in Wine
    # prefixes of its own; the display lock only keeps it from loading the machine under the
    # timing-sensitive tests.
    add_test(NAME installer.win32 COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/installer/test_installer.py
      ${CMAKE_BINARY_DIR} --win64 ${VORLUNE_OTHER_BUILD})
    set_tests_properties(installer.win32 PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900 RESOURCE_LOCK wine_display)
  endif()
endif()

# Native only: the layers (tests/layers.py, which first proves on planted violations that it finds
# them), and every top-level header compiled on its own without Windows.
if(NOT VORLUNE_WINDOWS)
  add_test(NAME layers COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/layers.py ${CMAKE_SOURCE_DIR}
    --deps ${CMAKE_BINARY_DIR}/layers.txt)
  set(header_units)
  foreach(dir IN LISTS VORLUNE_LIBS)
    file(GLOB headers CONFIGURE_DEPENDS ${dir}/*.h)
    foreach(h IN LISTS headers)
      file(RELATIVE_PATH header ${CMAKE_SOURCE_DIR} ${h})
      string(MAKE_C_IDENTIFIER ${header} unit)
      file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/portable_headers/${unit}.cpp CONTENT "#include \"${header}\"\n")
      list(APPEND header_units ${CMAKE_BINARY_DIR}/portable_headers/${unit}.cpp)
    endforeach()
  endforeach()
  add_library(portable_headers OBJECT ${header_units})
  target_include_directories(portable_headers PRIVATE ${CMAKE_SOURCE_DIR})
endif()

# Native-only programs: tools (tools/<name>/*.cpp), benchmarks (*/bench/*.cpp, one program each)
# and fuzz targets (*/fuzz/*.cpp, one program each, clang preset only).
if(NOT VORLUNE_WINDOWS)
  file(GLOB tool_dirs LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/*)
  foreach(d IN LISTS tool_dirs)
    if(IS_DIRECTORY ${d})
      file(GLOB tsrc CONFIGURE_DEPENDS ${d}/*.cpp)
      if(tsrc)
        get_filename_component(name ${d} NAME)
        add_executable(${name} ${tsrc})
        target_link_libraries(${name} PRIVATE app)
      endif()
    endif()
  endforeach()

  # The committed pictures are exactly what tools/make_pictures draws.
  if(TARGET make_pictures AND NOT VORLUNE_FUZZ)
    add_test(NAME pictures_reproducible COMMAND sh -c
      "set -e; rm -rf \"$1\"; mkdir -p \"$1\"; \"$0\" \"$1\" >/dev/null; for f in sprite1.png sprite2.png sprite3.png sprite4.png sprite5.png sprite6.png sprite7.png sprite8.png sprite9.png preview.png vorlune.ico; do cmp \"$1/$f\" \"$2/$f\"; done"
      $<TARGET_FILE:make_pictures> ${CMAKE_BINARY_DIR}/pictures_check ${CMAKE_SOURCE_DIR}/app/assets)
  endif()

  if(NOT VORLUNE_FUZZ)
    find_package(benchmark QUIET)
    if(benchmark_FOUND)
      foreach(dir IN LISTS VORLUNE_LIBS)
        file(GLOB bsrc CONFIGURE_DEPENDS ${dir}/bench/*.cpp)
        foreach(b IN LISTS bsrc)
          get_filename_component(name ${b} NAME_WE)
          add_executable(${name} ${b})
          target_link_libraries(${name} PRIVATE ${dir} benchmark::benchmark)
        endforeach()
      endforeach()
    endif()
  else()
    foreach(dir IN LISTS VORLUNE_LIBS)
      file(GLOB fsrc CONFIGURE_DEPENDS ${dir}/fuzz/*.cpp)
      foreach(f IN LISTS fsrc)
        get_filename_component(name ${f} NAME_WE)
        add_executable(${name} ${f})
        target_link_libraries(${name} PRIVATE ${dir})
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
      endforeach()
    endforeach()
  endif()
endif()

# Fault injection over the whole program against the recording fakes (a program of its own: each
# run with a failing call is a process of its own).
if(VORLUNE_WINDOWS)
  add_executable(fault_tests app/tests/fault/fault_injection_test.cpp)
  target_link_libraries(fault_tests PRIVATE app gtest)
  if(VORLUNE_WINE_TESTS)
    add_test(NAME unit.${wine_build}.fault COMMAND ${wine_dir}/run.sh ${CMAKE_BINARY_DIR} $<TARGET_FILE:fault_tests>)
    set_tests_properties(unit.${wine_build}.fault PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wine_display
      TIMEOUT 1200 SKIP_RETURN_CODE 77)
  endif()
endif()
