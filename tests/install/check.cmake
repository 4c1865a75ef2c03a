# Installs the build into a fresh folder and checks the portable set: the four
# tools and bussim side by side with the demo network and nothing else, a
# desktop entry per tool pointing at that folder, and bussim running from it.
#   cmake -DBUILD=<build dir> -P check.cmake
set(dir "${BUILD}/install check")
file(REMOVE_RECURSE "${dir}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${dir}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(rc)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()

set(tools busprobe voxbook lumbook sysload)
set(expected bussim demo-network.json)
foreach(tool ${tools})
  list(APPEND expected ${tool} share/applications/umd-${tool}.desktop)
endforeach()
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${dir}" "${dir}/*")
list(SORT installed)
list(SORT expected)
if(NOT installed STREQUAL expected)
  message(FATAL_ERROR "installed: ${installed}\nexpected: ${expected}")
endif()

foreach(tool ${tools})
  file(READ "${dir}/share/applications/umd-${tool}.desktop" entry)
  foreach(line "Exec=\"${dir}/${tool}\"" "Path=${dir}\n" "Type=Application")
    string(FIND "${entry}" "${line}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "umd-${tool}.desktop lacks ${line}:\n${entry}")
    endif()
  endforeach()
endforeach()

execute_process(COMMAND "${dir}/bussim" --help RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(rc OR NOT out MATCHES "Usage: bussim")
  message(FATAL_ERROR "the installed bussim does not run: ${rc} ${out}")
endif()

# Every tool prints its options and its version with no display to open, and
# refuses an option it does not know with exit code 2.
foreach(tool ${tools} bussim)
  set(run ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb
      "${dir}/${tool}")
  execute_process(COMMAND ${run} --help RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(rc OR NOT out MATCHES "--log" OR (NOT tool STREQUAL bussim AND NOT out MATCHES "--port"))
    message(FATAL_ERROR "${tool} --help: ${rc}\n${out}${err}")
  endif()
  execute_process(COMMAND ${run} --version RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(rc OR NOT out MATCHES "^${tool} [0-9]")
    message(FATAL_ERROR "${tool} --version: ${rc}\n${out}${err}")
  endif()
  execute_process(COMMAND ${run} --no-such-option RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
  if(NOT rc EQUAL 2)
    message(FATAL_ERROR "${tool} --no-such-option: ${rc}\n${err}")
  endif()
endforeach()
