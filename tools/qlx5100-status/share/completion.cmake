# Writes the bash completion from what the built tool says about itself:
#
#   cmake -DTOOL=... -DTEMPLATE=qlx5100-status.bash.in -DOUTPUT=... -P completion.cmake
#
# Options come from each context's --help (CLI11's layout: "  -f,--format
# TEXT:{a,b}" for an option with choices, a type word for one that takes a
# value), subcommands from the "Subcommands:" list, field keys from the first
# column of --describe.
cmake_minimum_required(VERSION 3.25)

function(run_tool out)
  execute_process(COMMAND ${TOOL} ${ARGN} OUTPUT_VARIABLE text RESULT_VARIABLE code)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "${TOOL} ${ARGN} failed (${code})")
  endif()
  # Only names and choices are read: keep list separators and brackets out.
  string(REGEX REPLACE "[][;\\]" "_" text "${text}")
  string(REGEX MATCHALL "[^\n]+" lines "${text}")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

# parse_help(CONTEXT LINES): appends to words_<CONTEXT> and to the value arms.
function(parse_help context)
  set(section "")
  set(words "")
  set(arms "")
  foreach(line IN LISTS ARGN)
    if(line MATCHES "^([A-Za-z][A-Za-z ]*):$")
      set(section "${CMAKE_MATCH_1}")
    elseif(NOT line MATCHES "^ ")
      set(section "")  # the footer's paragraphs
    elseif(section STREQUAL "Options" AND line MATCHES "^  (-[^ ]+)( ([A-Z]+)(:{([^}]*)})?)?")
      set(names "${CMAKE_MATCH_1}")
      set(type "${CMAKE_MATCH_3}")
      set(choices "${CMAKE_MATCH_5}")
      string(REPLACE "," ";" names "${names}")
      list(JOIN names " " spelt)
      string(APPEND words " ${spelt}")
      if(type)
        if(choices)
          string(REPLACE "," " " kind "${choices}")
        elseif(names MATCHES "--field")
          set(kind keys)
        elseif(type MATCHES "^(TEXT|FILE|PATH)$")
          set(kind files)
        else()
          set(kind none)
        endif()
        foreach(name IN LISTS names)
          string(APPEND arms "    \"${context} ${name}\") echo '${kind}' ;;\n")
        endforeach()
      endif()
    elseif(section STREQUAL "Subcommands" AND context STREQUAL "main"
           AND line MATCHES "^  ([a-z][a-z0-9-]*) ")
      list(APPEND subcommands ${CMAKE_MATCH_1})
      set(subcommands "${subcommands}" PARENT_SCOPE)
    endif()
  endforeach()
  string(STRIP "${words}" words)
  set(option_words "${option_words}    ${context}) echo '${words}' ;;\n" PARENT_SCOPE)
  set(option_values "${option_values}${arms}" PARENT_SCOPE)
endfunction()

set(option_words "")
set(option_values "")
set(subcommands "")
run_tool(lines --help)
parse_help(main ${lines})
foreach(sub IN LISTS subcommands)
  run_tool(lines ${sub} --help)
  parse_help(${sub} ${lines})
endforeach()

run_tool(lines --describe)
set(keys "")
list(POP_FRONT lines)  # the header
foreach(line IN LISTS lines)
  if(line MATCHES "^([A-Za-z][A-Za-z0-9]*) ")
    list(APPEND keys ${CMAKE_MATCH_1})
  endif()
endforeach()
list(REMOVE_DUPLICATES keys)
if(NOT keys OR NOT subcommands)
  message(FATAL_ERROR "no field keys or no subcommands in ${TOOL}'s output")
endif()

string(REGEX REPLACE "\n$" "" QLX5100_OPTION_WORDS "${option_words}")
string(REGEX REPLACE "\n$" "" QLX5100_OPTION_VALUES "${option_values}")
list(JOIN subcommands " " QLX5100_SUBCOMMANDS)
list(JOIN keys " " QLX5100_FIELD_KEYS)
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
