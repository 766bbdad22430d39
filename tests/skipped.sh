#!/bin/sh
# Run by ctest after the tests (CTestCustom.cmake in the build folder, given as $1): names each
# test of the run that was skipped, with the reason it gave, which ctest itself does not show.
# A test tells why in GoogleTest's way (a line ending in ": Skipped", the reason on the next), or
# on a line of its own that ends in " skipped".
log=$1/Testing/Temporary/LastTest.log
[ -f "$log.tmp" ] && log=$log.tmp  # ctest writes the log of the run under way there
awk '/^[0-9]+\/[0-9]+ Test: / { name = $3 }
  why { said[name] = $0; why = 0 }
  /: Skipped$/ { why = 1 }
  / skipped$/ && !/^\[/ { said[name] = $0 }
  END { for (name in said) print "  " name ": " said[name] }' "$log" | sort | sed '1i\
Skipped, and why:'
