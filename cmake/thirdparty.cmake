# libpng and zlib. Natively: Debian's packages. Windows: zlib from libz-mingw-w64-dev and libpng
# compiled here from Debian's libpng1.6 source package (fetched into third_party/ by the set-up).
# The fuzz build compiles that same libpng too, so the fuzzer sees (and is guided by) its code.
add_library(vorlune_png INTERFACE)
if(NOT VORLUNE_WINDOWS AND NOT VORLUNE_FUZZ)
  find_package(PNG REQUIRED)
  find_package(ZLIB REQUIRED)
  target_link_libraries(vorlune_png INTERFACE PNG::PNG ZLIB::ZLIB)
else()
  file(GLOB png_tarball "${CMAKE_SOURCE_DIR}/third_party/libpng1.6_*.orig.tar.*")
  if(NOT png_tarball)
    message(FATAL_ERROR "libpng source missing in third_party/: run scripts/setup.sh first")
  endif()
  list(GET png_tarball 0 png_tarball)
  set(png_src_root ${CMAKE_BINARY_DIR}/third_party/libpng)
  if(NOT EXISTS ${png_src_root}/.extracted)
    file(MAKE_DIRECTORY ${png_src_root})
    file(ARCHIVE_EXTRACT INPUT ${png_tarball} DESTINATION ${png_src_root})
    file(TOUCH ${png_src_root}/.extracted)
  endif()
  file(GLOB png_dir LIST_DIRECTORIES true "${png_src_root}/libpng-*")
  list(GET png_dir 0 png_dir)
  # png.h includes "pnglibconf.h" from its own folder before the include path: none may lie there
  # (an older build put one), so that each build of libpng below gets its own configuration.
  file(REMOVE ${png_dir}/pnglibconf.h)
  set(png_conf ${CMAKE_BINARY_DIR}/third_party/png_full)
  configure_file(${png_dir}/scripts/pnglibconf.h.prebuilt ${png_conf}/pnglibconf.h COPYONLY)

  set(png_read_files png pngerror pngget pngmem pngpread pngread pngrio pngrtran pngrutil pngset pngtrans)
  set(png_files ${png_read_files} pngwio pngwrite pngwtran pngwutil)
  list(TRANSFORM png_read_files PREPEND ${png_dir}/)
  list(TRANSFORM png_read_files APPEND .c)
  list(TRANSFORM png_files PREPEND ${png_dir}/)
  list(TRANSFORM png_files APPEND .c)
  find_library(ZLIB_STATIC NAMES libz.a z REQUIRED)
  find_path(ZLIB_INC zlib.h REQUIRED)

  function(vorlune_png_library name conf)
    add_library(${name} STATIC ${ARGN})
    target_include_directories(${name} PUBLIC ${conf} ${png_dir} ${ZLIB_INC})
    target_compile_options(${name} PRIVATE -w)
    target_compile_definitions(${name} PRIVATE PNG_INTEL_SSE_OPT=0 PNG_ARM_NEON_OPT=0)
    target_link_libraries(${name} PUBLIC ${ZLIB_STATIC})
    if(VORLUNE_WINDOWS)
      # Small executables: libpng decodes ten small pictures once, at start-up, so it is optimised
      # for size (about half its code), and the linker drops every function and datum nothing uses.
      target_compile_options(${name} PRIVATE -Os -ffunction-sections -fdata-sections)
      # ld keeps every function an unwind table entry names, so with them --gc-sections would drop
      # nothing. i686 C code needs none: libpng reports errors with longjmp, which on i686 walks no
      # tables, and no C++ exception passes through it. x86_64's longjmp unwinds by them: kept.
      if(CMAKE_SYSTEM_PROCESSOR MATCHES "^i[3-6]86$")
        target_compile_options(${name} PRIVATE -fno-asynchronous-unwind-tables)
      endif()
    endif()
  endfunction()

  # Everything libpng has: its writer makes the tests' pictures.
  vorlune_png_library(png_static ${png_conf} ${png_files})
  target_link_libraries(vorlune_png INTERFACE $<IF:$<BOOL:$<TARGET_PROPERTY:VORLUNE_PNG_READ_ONLY>>,png_read,png_static>)

  if(VORLUNE_WINDOWS)
    # The product's libpng: reading only, configured by libpng's own generator
    # (scripts/pnglibconf.mak's steps) from its option file and cmake/png_read_only.dfa.
    find_program(AWK NAMES awk REQUIRED)
    set(png_read_conf ${CMAKE_BINARY_DIR}/third_party/png_read)
    set(gen ${png_read_conf}/gen)
    file(MAKE_DIRECTORY ${gen})
    set(dfa ${CMAKE_SOURCE_DIR}/cmake/png_read_only.dfa)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${dfa})
    file(WRITE ${gen}/pnglibconf.c "#include \"pnglibconf.dfn\"\n")
    execute_process(
      COMMAND ${AWK} -f ${png_dir}/scripts/options.awk out=pnglibconf.pre version=search
        ${png_dir}/pngconf.h ${png_dir}/scripts/pnglibconf.dfa ${png_dir}/pngusr.dfa ${dfa}
      COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY ${gen} OUTPUT_QUIET)
    execute_process(COMMAND ${AWK} -f ${png_dir}/scripts/options.awk out=pnglibconf.dfn pnglibconf.pre
      COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY ${gen} OUTPUT_QUIET)
    execute_process(COMMAND ${CMAKE_C_COMPILER} -E -I${png_dir} -I${ZLIB_INC} pnglibconf.c -o pnglibconf.out
      COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY ${gen})
    execute_process(COMMAND ${AWK} -f ${png_dir}/scripts/dfn.awk out=pnglibconf.h pnglibconf.out
      COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY ${gen} OUTPUT_QUIET)
    file(STRINGS ${gen}/pnglibconf.h writing REGEX "^#define PNG_WRITE_SUPPORTED")
    file(STRINGS ${gen}/pnglibconf.h reading REGEX "^#define PNG_READ_SUPPORTED")
    if(writing OR NOT reading)
      message(FATAL_ERROR "libpng's read-only configuration ${gen}/pnglibconf.h is not read-only")
    endif()
    # Copied only when changed, so that configuring again does not rebuild libpng.
    configure_file(${gen}/pnglibconf.h ${png_read_conf}/pnglibconf.h COPYONLY)
    vorlune_png_library(png_read ${png_read_conf} ${png_read_files})
  endif()
endif()

# GoogleTest from Debian's sources, so the same version serves the native and the Windows builds.
if(NOT TARGET gtest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
