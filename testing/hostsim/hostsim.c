// The simulated game process. Its image spans the game's fixed address range, as the game's
// own image does, so that a test module can lay the game's records and code at their
// addresses. It holds no test code: it loads the module named on its command line and runs
// that module's entry with the remaining arguments.
#include <stdio.h>
#include <windows.h>

// Uninitialised, so it costs nothing in the file; the loader maps it right after the code.
// The game's lowest fixed address is 0x5696C0, its highest record ends before 0xC9C100.
__attribute__((used)) static unsigned char GameImage[0x900000];

typedef int(__cdecl* ModuleEntry)(int argc, char** argv);

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: hostsim MODULE.dll [arguments...]\n");
        return 2;
    }
    if ((UINT_PTR)GameImage > 0x500000 || (UINT_PTR)GameImage + sizeof GameImage < 0xC9C100) {
        fprintf(stderr, "hostsim: game image at %p does not span the game's addresses\n",
                (void*)GameImage);
        return 2;
    }
    HMODULE module = LoadLibraryA(argv[1]);
    if (!module) {
        fprintf(stderr, "hostsim: cannot load module %s (error %lu)\n", argv[1], GetLastError());
        return 2;
    }
    ModuleEntry entry = (ModuleEntry)(void*)GetProcAddress(module, "ModuleMain");
    if (!entry) {
        fprintf(stderr, "hostsim: module %s has no entry ModuleMain\n", argv[1]);
        return 2;
    }
    fflush(stdout);
    return entry(argc - 1, argv + 1);
}
