# Tidies the page help2man made from CLI11's --help:
#
#   cmake -DTOOL=... -DINPUT=help2man's page -DOUTPUT=qlx5100-status.1 -P manpage.cmake
#
# CLI11 writes "-f,--format TEXT:{xml,json,table}"; a man page spells that
# "-f, --format {xml,json,table}", both names bold, the value in italics. The
# examples are one command a line, so they are kept as they are (no filling).
# help2man reads the main --help only; each subcommand's own --help becomes a
# section COMMANDS.
cmake_minimum_required(VERSION 3.25)
file(READ ${INPUT} page)

function(roff out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

execute_process(COMMAND ${TOOL} --help OUTPUT_VARIABLE help COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCH "\nSubcommands:\n(  [^\n]*\n)*" listed "${help}")
string(REGEX MATCHALL "\n  [a-z][a-z0-9-]* " subcommands "${listed}")
set(commands "")
foreach(sub IN LISTS subcommands)
  string(STRIP "${sub}" sub)
  execute_process(COMMAND ${TOOL} ${sub} --help OUTPUT_VARIABLE text COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCH "^([^\n]*)\nUsage: ([^\n]*)" _ "${text}")
  roff(what "${CMAKE_MATCH_1}")
  roff(usage "${CMAKE_MATCH_2}")
  string(APPEND commands ".SS \"${sub}\"\n${usage}\n.PP\n${what}\n")
  string(REGEX MATCH "\nOptions:\n(  [^\n]*\n)*" options "${text}")
  string(REGEX MATCHALL "\n  -[^\n]*(\n     [^\n]*)*" options "${options}")
  foreach(option IN LISTS options)
    if(NOT option MATCHES "--help" AND option MATCHES "^\n  (-[^ \n]+)( [A-Z]+[^ \n]*)?[ \n]+(.*)$")
      set(names "${CMAKE_MATCH_1}")
      string(STRIP "${CMAKE_MATCH_2}" type)
      set(description "${CMAKE_MATCH_3}")
      string(REPLACE "," ", " names "${names}")
      roff(names "${names}")
      string(REGEX REPLACE "(\\\\-[^ ,]+)" "\\\\fB\\1\\\\fR" names "${names}")
      string(REGEX REPLACE "[ \n]+" " " description "${description}")
      roff(description "${description}")
      if(type)
        string(APPEND names " \\fI${type}\\fR")
      endif()
      string(APPEND commands ".TP\n${names}\n${description}\n")
    endif()
  endforeach()
endforeach()
if(commands)
  string(REPLACE "\n.SH ENVIRONMENT\n" "\n.SH COMMANDS\n${commands}.SH ENVIRONMENT\n" page "${page}")
endif()
string(REGEX REPLACE "\n\\\\fB(\\\\-[A-Za-z0-9])\\\\fR,(\\\\-\\\\-[A-Za-z0-9\\\\-]+)"
  "\n\\\\fB\\1\\\\fR, \\\\fB\\2\\\\fR" page "${page}")
string(REGEX REPLACE "\n(\\\\fB[^\n]*\\\\fR) [A-Z]+:({[^}\n]*})" "\n\\1 \\2" page "${page}")
string(REGEX REPLACE "\n(\\\\fB[^\n]*\\\\fR) ([A-Z]+)([ \n])" "\n\\1 \\\\fI\\2\\\\fR\\3"
  page "${page}")
string(REGEX REPLACE "\n\\.SH EXAMPLES\n\\.IP\n([^.][^\n]*\n([^.][^\n]*\n)*)" "\n.SH EXAMPLES\n.nf\n\\1.fi\n"
  page "${page}")
file(WRITE ${OUTPUT} "${page}")
