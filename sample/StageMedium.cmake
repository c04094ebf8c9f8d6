# Lays out the staging tree of the sample media (ENTRIES: "FOLDER/name=source"
# joined by |) with the manifest of titles (TITLES), for pkgtool's medium build.
file(REMOVE_RECURSE ${STAGING})
file(MAKE_DIRECTORY ${STAGING})
string(REPLACE "|" ";" entries "${ENTRIES}")
foreach(pair ${entries})
  string(REGEX MATCH "^[^=]*" name "${pair}")
  string(REGEX REPLACE "^[^=]*=" "" source "${pair}")
  get_filename_component(folder "${STAGING}/${name}" DIRECTORY)
  file(MAKE_DIRECTORY "${folder}")
  # The packages record the staged copies' times: those of this build.
  file(COPY_FILE "${source}" "${STAGING}/${name}")
endforeach()
file(COPY_FILE ${TITLES} ${STAGING}/titles.txt)
