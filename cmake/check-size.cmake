# Prints a program's size and fails the build when it passes LIMIT bytes.
file(SIZE "${FILE}" size)
get_filename_component(name "${FILE}" NAME)
message(STATUS "${name}: ${size} bytes (limit ${LIMIT})")
if(size GREATER LIMIT)
  message(FATAL_ERROR "${name} is ${size} bytes, over the limit of ${LIMIT}")
endif()
