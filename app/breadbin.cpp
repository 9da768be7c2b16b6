// breadbin: the emulator in a window. It boots the ROM images in the working directory,
// runs "tests/start" when the firmware first waits for input, and ends on Escape.
#include "machine/machine.h"

int main(int argc, char** argv) { runMachine(argc, argv); }
