// What a smashed stack guard does in the soak's builds: it raises an exception that the soak's
// handler reports with the seed and the frame, instead of ending the process without a word.
#include <windows.h>

extern "C" {
void* __stack_chk_guard = reinterpret_cast<void*>(0x5AC3A53C);
void __stack_chk_fail() {
    RaiseException(0xE0535447, 0, 0, nullptr);
}
}
