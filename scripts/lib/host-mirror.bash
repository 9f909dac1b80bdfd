# Sourced by the scripts that bootstrap a Debian chroot.
#
# host_mirror SUITE: prints the deb URIs this machine's apt configuration uses
# for SUITE itself (not -updates or -security), first one first, from deb822
# .sources files and one-line .list files. The chroots use the same mirror as
# the machine, whatever it is set up for.
host_mirror() {
  local suite=$1 f
  shopt -s nullglob
  for f in /etc/apt/sources.list.d/*.sources; do
    awk -v suite="$suite" '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " suite " ") && uris != "") {
          split(uris, u, " "); print u[1]; found = 1; exit
        }
        types = uris = suites = ""
      }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      /^Types:/  { sub(/^Types:[ \t]*/, "");  types = $0 }
      /^URIs:/   { sub(/^URIs:[ \t]*/, "");   uris = $0 }
      /^Suites:/ { sub(/^Suites:[ \t]*/, ""); suites = $0 }
      END { if (!found) flush() }
    ' "$f"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [[ -f $f ]] || continue
    # deb [options] URI suite components...
    sed -e 's/#.*//' -e 's/\[[^]]*\]//' "$f" |
      awk -v suite="$suite" '$1 == "deb" && $3 == suite { print $2 }'
  done
}
