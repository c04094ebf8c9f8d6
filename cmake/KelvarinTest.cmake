# GoogleTest for both trees: Debian's packaged build natively, and the same
# sources (/usr/src/googletest) cross-built for Windows.
if(KELVARIN_WINDOWS)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # GoogleTest's own sources do not pass our warning set; they are not ours to fix.
  target_compile_options(gtest PRIVATE -w)
  target_compile_options(gtest_main PRIVATE -w)
else()
  find_package(GTest REQUIRED)
endif()

# kelvarin_add_test(NAME n SOURCES ... [LIBS ...] [ENV k=v ...] [LABELS ...] [ARGS ...]
#                   [WORKDIR dir] [PREFIX name] [COST n] [TEST name] [SERIAL])
# One executable is one ctest test (named TEST where given, else NAME); Windows tests run
# through Wine by the emulator.
function(kelvarin_add_test)
  cmake_parse_arguments(T "SERIAL" "NAME;TEST;WORKDIR;PREFIX;COST" "SOURCES;LIBS;ENV;LABELS;ARGS"
    ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main)
  if(NOT T_TEST)
    set(T_TEST ${T_NAME})
  endif()
  set(run NAME ${T_TEST} PROGRAM ${T_NAME} ARGS ${T_ARGS} ENV ${T_ENV} LABELS ${T_LABELS})
  foreach(option WORKDIR PREFIX COST)
    if(T_${option})
      list(APPEND run ${option} ${T_${option}})
    endif()
  endforeach()
  if(T_SERIAL)
    list(APPEND run SERIAL)
  endif()
  kelvarin_add_test_run(${run})
endfunction()

# kelvarin_add_test_run(NAME n PROGRAM target [ARGS ...] [ENV k=v ...] [LABELS ...]
#                       [WORKDIR dir] [PREFIX name] [COST n] [SERIAL])
# One more ctest test of a test executable already made (a part of its tests, by ARGS).
# A Windows test takes turns in the shared Wine prefix build/wine; PREFIX gives it one of its
# own, build/wine-<name>, so that it runs beside the others (ctest -j). Tests that name the same
# PREFIX take turns in it. COST: seconds it takes, so that ctest starts the long ones first.
function(kelvarin_add_test_run)
  cmake_parse_arguments(T "SERIAL" "NAME;PROGRAM;WORKDIR;PREFIX;COST" "ARGS;ENV;LABELS" ${ARGN})
  if(NOT T_WORKDIR)
    set(T_WORKDIR ${CMAKE_CURRENT_BINARY_DIR})
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_PROGRAM} ${T_ARGS} WORKING_DIRECTORY ${T_WORKDIR})
  set(labels ${T_LABELS})
  set(env ${T_ENV})
  if(KELVARIN_WINDOWS)
    list(APPEND labels wine)
    if(T_PREFIX)
      list(APPEND env KELVARIN_WINE_DIR=${KELVARIN_OUT}/wine-${T_PREFIX})
      set_property(TEST ${T_NAME} PROPERTY RESOURCE_LOCK wineprefix-${T_PREFIX})
    else()
      set_property(TEST ${T_NAME} PROPERTY RESOURCE_LOCK wineprefix)
    endif()
  else()
    list(APPEND labels native)
  endif()
  set_property(TEST ${T_NAME} PROPERTY LABELS ${labels})
  if(env)
    set_property(TEST ${T_NAME} PROPERTY ENVIRONMENT ${env})
  endif()
  if(T_COST)
    set_property(TEST ${T_NAME} PROPERTY COST ${T_COST})
  endif()
  if(T_SERIAL)
    set_property(TEST ${T_NAME} PROPERTY RUN_SERIAL TRUE)
  endif()
endfunction()

# kelvarin_winver_of(family out): the Windows version a test of a platform family sees
# ("nt": Windows XP, "9x": Windows 98).
function(kelvarin_winver_of family out)
  if(family STREQUAL "nt")
    set(${out} winxp PARENT_SCOPE)
  else()
    set(${out} win98 PARENT_SCOPE)
  endif()
endfunction()
