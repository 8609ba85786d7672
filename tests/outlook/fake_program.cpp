// Stands in for outlook.exe (copied under other names by the tests): it only waits to be ended,
// and gives up by itself after two minutes so that a failed test leaves nothing behind.
#include <windows.h>

int main() {
    Sleep(120000);
    return 7;
}
