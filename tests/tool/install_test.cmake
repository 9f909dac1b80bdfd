# The runtime component installs the man page and the three completions
# where Debian's shells look for them, and the JSON Schemas.
#   cmake -DBUILD=<build tree> -DPREFIX=<scratch folder> -P install_test.cmake
file(REMOVE_RECURSE ${PREFIX})
include(${CMAKE_CURRENT_LIST_DIR}/../support/run.cmake)
run(0 ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX} --component runtime)
foreach(path
    share/man/man1/qlx5100-status.1.gz
    share/bash-completion/completions/qlx5100-status
    share/zsh/vendor-completions/_qlx5100-status
    share/fish/vendor_completions.d/qlx5100-status.fish
    share/qlx5100-status/schemas/status.schema.json
    share/qlx5100-status/schemas/ndjson-record.schema.json
    share/qlx5100-status/schemas/describe.schema.json
    share/qlx5100-status/schemas/diff.schema.json)
  if(NOT EXISTS ${PREFIX}/${path})
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
