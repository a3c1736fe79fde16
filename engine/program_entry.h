#pragma once
// Entry of the one executable: a console job for "--cmd_line_render" or
// "--cmd_line_snapshot", the version or help text, or the windowed application.
#include <cstdio>

// Exit status of the process. Only the first argument is looked at here.
int program_main(int argc, char **argv);

// The command-line help, one entry a line.
void print_program_help(FILE *out);
