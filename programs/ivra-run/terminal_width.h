// The width of the terminal or console that stderr shows in.
#pragma once

// Columns of the terminal behind stderr; 80 when it cannot be told.
int TerminalWidth();
