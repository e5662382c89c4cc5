// Waits until it is terminated. Ends by itself with exit code 7 after two minutes, so that
// a test that fails to end it leaves nothing running for long.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Sleep(120000);
    return 7;
}
