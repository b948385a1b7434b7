#!/bin/sh
# What help2man reads: help_for_man.sh PROGRAM HELP-OPTION prints the program's help with the
# headings that are man-page sections of their own marked as help2man wants them ("*Exit
# status*"); the help the user reads keeps plain headings.
"$1" "$2" | sed -e 's/^\(Exit status\|Commands in detail\|Commands on standard input\):$/*\1*/'
