# Fails when a folder of src/ includes a folder above its own floor, so that the
# floors stay one-way: a step never reaches up into the dialogs or the application,
# and the package library stays free of everything Windows-specific above it.
# Usage: cmake -DSRC=<src folder> -P CheckLayers.cmake
set(FLOORS
  package 0    # the portable package library
  framework 1  # what every step shares: platform, messages, dialog base, state, progress
  config 2     # the registry wrapper and what the install writes outside the tree
  install 3    # the file installation, on the registry wrapper
  ui 4         # the dialogs
  app 5)       # the application that composes everything

set(floor_of)
list(LENGTH FLOORS count)
math(EXPR last "${count} - 1")
foreach(i RANGE 0 ${last} 2)
  math(EXPR j "${i} + 1")
  list(GET FLOORS ${i} folder)
  list(GET FLOORS ${j} floor)
  set(FLOOR_${folder} ${floor})
  list(APPEND known ${folder})
endforeach()

file(GLOB folders RELATIVE ${SRC} ${SRC}/*)
set(faults)
set(checked 0)
foreach(folder ${folders})
  if(NOT IS_DIRECTORY ${SRC}/${folder})
    continue()
  endif()
  if(NOT DEFINED FLOOR_${folder})
    list(APPEND faults "src/${folder} has no floor: add it to CheckLayers.cmake")
    continue()
  endif()
  file(GLOB_RECURSE sources ${SRC}/${folder}/*.h ${SRC}/${folder}/*.cpp ${SRC}/${folder}/*.rc)
  foreach(source ${sources})
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line ${includes})
      math(EXPR checked "${checked} + 1")
      # "framework/Messages.h", or "../framework/resource.h" from the resource script
      if(line MATCHES "\"(\\.\\./)?([A-Za-z_]+)/[^\"]*\"")
        set(target ${CMAKE_MATCH_2})
        if(DEFINED FLOOR_${target} AND FLOOR_${target} GREATER FLOOR_${folder})
          file(RELATIVE_PATH name ${SRC} ${source})
          list(APPEND faults "src/${name} (floor ${FLOOR_${folder}}) includes ${target}/ (floor ${FLOOR_${target}})")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()

if(checked EQUAL 0)
  message(FATAL_ERROR "no include lines found below ${SRC}")
endif()
if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "includes that run up a floor:\n  ${text}")
endif()
message(STATUS "${checked} include lines, each down or level")
