# Writes the manual pages of man/ into OUTPUT_DIR with the version and date in
# their title line, which reads '.TH NAME 1 "" "plotveil" ...' in the sources.
# The date is that of SOURCE_DATE_EPOCH, else of the last commit, else today's
# (a source tree outside git), in UTC. A page is rewritten only when it changes.
# Usage: cmake -DSOURCE_DIR=... -DOUTPUT_DIR=... -DVERSION=... -P man_pages.cmake
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -C "${SOURCE_DIR}" log -1 --format=%ct
    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed ERROR_QUIET)
  if(NOT failed AND epoch MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
  endif()
endif()
# string(TIMESTAMP) takes its time from SOURCE_DATE_EPOCH where it is set.
string(TIMESTAMP date "%Y-%m-%d" UTC)

file(GLOB pages "${SOURCE_DIR}/man/*.1")
foreach(page IN LISTS pages)
  file(READ "${page}" text)
  string(FIND "${text}" "\n" first_end)
  string(SUBSTRING "${text}" 0 ${first_end} title)
  if(NOT title MATCHES "^\\.TH [^ ]+ 1 \"\" \"plotveil\" ")
    message(FATAL_ERROR "${page}: its first line is not '.TH NAME 1 \"\" \"plotveil\" ...'")
  endif()
  string(REPLACE "\"\" \"plotveil\"" "${date} \"plotveil ${VERSION}\"" dated "${title}")
  string(SUBSTRING "${text}" ${first_end} -1 rest)
  get_filename_component(name "${page}" NAME)
  file(WRITE "${OUTPUT_DIR}/${name}.new" "${dated}${rest}")
  file(COPY_FILE "${OUTPUT_DIR}/${name}.new" "${OUTPUT_DIR}/${name}" ONLY_IF_DIFFERENT)
  file(REMOVE "${OUTPUT_DIR}/${name}.new")
endforeach()
