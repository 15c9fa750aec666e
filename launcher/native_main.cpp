// The native stub's entry point: the launcher run with no module handle and no arguments, as the
// run uses neither the command line nor the show state.
#include "launcher/win_main.h"

int main() {
    return WinMain(nullptr, nullptr, nullptr, 0);
}
