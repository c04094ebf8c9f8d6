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
#                   [WORKDIR dir] [SERIAL])
# One executable is one ctest test; Windows tests run through Wine by the emulator.
function(kelvarin_add_test)
  cmake_parse_arguments(T "SERIAL" "NAME;WORKDIR" "SOURCES;LIBS;ENV;LABELS;ARGS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main)
  if(NOT T_WORKDIR)
    set(T_WORKDIR ${CMAKE_CURRENT_BINARY_DIR})
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} ${T_ARGS} WORKING_DIRECTORY ${T_WORKDIR})
  set(labels ${T_LABELS})
  if(KELVARIN_WINDOWS)
    list(APPEND labels wine)
    # One Wine prefix is shared, so Windows tests take turns.
    set_property(TEST ${T_NAME} PROPERTY RESOURCE_LOCK wineprefix)
  else()
    list(APPEND labels native)
  endif()
  set_property(TEST ${T_NAME} PROPERTY LABELS ${labels})
  if(T_ENV)
    set_property(TEST ${T_NAME} PROPERTY ENVIRONMENT ${T_ENV})
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
