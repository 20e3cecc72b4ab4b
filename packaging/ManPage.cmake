# Writes zumbel(1), gzipped, from the program's own help: help2man turns `zumbel --help` and
# `--version` into the page, and each command's `--help` becomes its part of COMMANDS, so the page
# says exactly what the program says.
#   cmake -DZUMBEL=path/to/zumbel -DHEADER=header.h2m -DOUT=zumbel.1.gz -P ManPage.cmake

foreach(var ZUMBEL HEADER OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "ManPage.cmake needs -D${var}=...")
  endif()
endforeach()

function(help_of out_var)
  execute_process(COMMAND ${ZUMBEL} ${ARGN} --help OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR text STREQUAL "")
    message(FATAL_ERROR "'zumbel ${ARGN} --help' failed (${status})")
  endif()
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

# roff: backslashes and dashes escaped, a line starting with a dot or a quote kept as text.
function(to_roff out_var text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

# The commands are the two-space-indented words of the overview's list.
help_of(overview)
string(REGEX MATCHALL "\n  [a-z][a-z-]* " entries "${overview}")
set(commands "")
foreach(entry IN LISTS entries)
  string(STRIP "${entry}" command)
  list(APPEND commands ${command})
endforeach()
if(NOT commands)
  message(FATAL_ERROR "no commands found in 'zumbel --help'")
endif()

file(READ ${HEADER} include)
string(APPEND include "\n[COMMANDS]\n")
foreach(command IN LISTS commands)
  help_of(text ${command})
  to_roff(text "${text}")
  string(APPEND include ".SS ${command}\n.nf\n${text}.fi\n")
endforeach()

get_filename_component(dir ${OUT} DIRECTORY)
set(include_file ${dir}/zumbel.h2m)
set(page ${dir}/zumbel.1)
file(WRITE ${include_file} "${include}")
execute_process(
  COMMAND help2man --no-info --no-discard-stderr --section=1 --name=${NAME} --include=${include_file}
          --output=${page} ${ZUMBEL}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed (${status})")
endif()
# -n: no name or time stamp inside, so the same page gives the same bytes.
execute_process(COMMAND gzip -9nf ${page} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed (${status})")
endif()
