#ifndef ISSUBPROCESS_H
#define ISSUBPROCESS_H

// True when any argument, the program path included, contains "--type": the
// engine starts its sub-processes from this executable with such a switch.
// The test is case-sensitive and looks at the raw 8-bit text.
bool isSubProcess(int argc, char *argv[]);

#endif // ISSUBPROCESS_H
