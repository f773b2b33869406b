# Prints a program's size and fails the build when it passes LIMIT bytes.
# With OBJDUMP and IMPORTS (DLL names, separated by commas), also prints
# the DLLs it imports and fails on any other: each library a Windows
# program imports is loaded, with what it needs, at every start (the
# shell's alone cost KELMORIX.EXE some 40 ms a start under Wine).
file(SIZE "${FILE}" size)
get_filename_component(name "${FILE}" NAME)
message(STATUS "${name}: ${size} bytes (limit ${LIMIT})")
if(size GREATER LIMIT)
  message(FATAL_ERROR "${name} is ${size} bytes, over the limit of ${LIMIT}")
endif()
if(OBJDUMP AND IMPORTS)
  execute_process(COMMAND "${OBJDUMP}" -p "${FILE}" OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${OBJDUMP} could not read ${name}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${dump}")
  set(found "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "DLL Name: " "" dll "${line}")
    list(APPEND found "${dll}")
    string(REPLACE "," "|" allowed "${IMPORTS}")
    if(NOT dll MATCHES "^(${allowed})$")
      message(FATAL_ERROR "${name} imports ${dll}; it may import only ${IMPORTS}")
    endif()
  endforeach()
  string(REPLACE ";" " " shown "${found}")
  message(STATUS "${name} imports: ${shown}")
endif()
