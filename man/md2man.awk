# Turns a man page source (a small Markdown subset) into roff for man(1):
#   % NAME SECTION | FOOTER | HEADER    the title line (first line); @VERSION@ is replaced
#   # HEADING                           a section
#   * TERM                              a tagged paragraph; the indented lines after it are
#     text of the term                  its text
#   ```  ...  ```                       lines shown as they are (examples)
#   `bold`  *italic*                    inline fonts; a blank line starts a new paragraph
# Usage: awk -v version=1.0.0 -f md2man.awk corvina.1.md > corvina.1
function escape(s) {
  gsub(/\\/, "\\e", s)
  gsub(/-/, "\\-", s)
  return s
}
function fonts(s,    out) {
  out = ""
  while (match(s, /`[^`]+`|\*[^* ][^*]*\*/)) {
    out = out substr(s, 1, RSTART - 1)
    if (substr(s, RSTART, 1) == "`") {
      out = out "\\fB" substr(s, RSTART + 1, RLENGTH - 2) "\\fR"
    } else {
      out = out "\\fI" substr(s, RSTART + 1, RLENGTH - 2) "\\fR"
    }
    s = substr(s, RSTART + RLENGTH)
  }
  return out s
}
function text(s) {
  s = fonts(escape(s))
  if (s ~ /^[.']/) s = "\\&" s
  return s
}
NR == 1 && /^% / {
  sub(/^% /, "")
  gsub(/@VERSION@/, version)
  n = split($0, parts, / *\| */)
  split(parts[1], name, / +/)
  printf ".TH %s %s \"\" \"%s\" \"%s\"\n", toupper(name[1]), name[2], parts[2], parts[3]
  next
}
/^```/ {
  verbatim = !verbatim
  print verbatim ? ".PP\n.RS 4\n.nf" : ".fi\n.RE"
  next
}
verbatim {
  line = escape($0)
  if (line ~ /^[.']/) line = "\\&" line
  print line
  next
}
/^# / {
  sub(/^# /, "")
  print ".SH " toupper($0)
  fresh = 1
  next
}
/^\* / {
  sub(/^\* /, "")
  print ".TP"
  print text($0)
  fresh = 0
  next
}
/^[ \t]*$/ {
  pending = 1
  next
}
{
  if (pending && !fresh && $0 !~ /^  /) print ".PP"
  pending = 0
  fresh = 0
  sub(/^[ \t]+/, "")
  print text($0)
}
