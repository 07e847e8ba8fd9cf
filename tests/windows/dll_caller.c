/* Calls the converter the way a Windows program that knows only its name does:
   loads 3ds2ov.dll by name (from the program's own folder), checks that its
   export table names convert3ds2ov undecorated, takes the export by that name
   and converts a .3ds file with it.

   dll_caller IN.3ds TEXTURE OUT.shp

   In a 32-bit program the call is made by hand: the three arguments pushed on a
   stack aligned to 4 bytes only (all a 32-bit Windows caller promises), and the
   stack pointer compared after the return. A standard-call export takes its 12
   bytes of arguments off the stack itself. Exits with 0 only when the library
   loaded, the export was found, the conversion returned 0 and, in 32 bits, the
   callee popped exactly 12 bytes. */

#include <stdio.h>
#include <string.h>
#include <windows.h>

typedef int(WINAPI* Convert)(const char*, const char*, const char*);

#if defined(_M_IX86) || defined(__i386__)
/* The arguments and the function, for the hand-made call. */
struct Call {
    const char* args[3];
    Convert fn;
};

/* Calls fn(a0, a1, a2) with the stack 4 bytes off a 16-byte boundary at the call.
   Returns the result; *left is the number of argument bytes still on the stack
   after the return (0 when the callee popped them). */
static int callMisaligned(struct Call* call, int* left) {
    int result;
    int leftBytes;
    __asm__ volatile(
        "movl %%esp, %%esi\n\t"
        "andl $-16, %%esp\n\t"
        "subl $8, %%esp\n\t"
        "movl %%esp, %%edi\n\t"
        "pushl 8(%%ebx)\n\t"
        "pushl 4(%%ebx)\n\t"
        "pushl (%%ebx)\n\t"
        "call *12(%%ebx)\n\t"
        "subl %%esp, %%edi\n\t"
        "movl %%esi, %%esp\n\t"
        : "=a"(result), "=&D"(leftBytes)
        : "b"(call)
        : "ecx", "edx", "esi", "memory", "cc");
    *left = leftBytes;
    return result;
}
#endif

/* Lists the names in the module's export table. Returns how many of them name the
   converter in any spelling (decorated "_convert3ds2ov@12" and the like) other
   than the plain one, and sets *plain when the plain name is there. */
static int exportedNames(HMODULE module, int* plain) {
    const BYTE* base = (const BYTE*)module;
    const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)base;
    const IMAGE_NT_HEADERS* nt = (const IMAGE_NT_HEADERS*)(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY* dir = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const IMAGE_EXPORT_DIRECTORY* exports =
        (const IMAGE_EXPORT_DIRECTORY*)(base + dir->VirtualAddress);
    const DWORD* names = (const DWORD*)(base + exports->AddressOfNames);
    int others = 0;
    *plain = 0;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        const char* name = (const char*)(base + names[i]);
        printf("export: %s\n", name);
        if (strcmp(name, "convert3ds2ov") == 0)
            *plain = 1;
        else if (strstr(name, "convert3ds2ov"))
            ++others;
    }
    return others;
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: dll_caller IN.3ds TEXTURE OUT.shp\n");
        return 2;
    }
    HMODULE dll = LoadLibraryA("3ds2ov.dll");
    if (!dll) {
        printf("3ds2ov.dll not loaded (error %lu)\n", (unsigned long)GetLastError());
        return 1;
    }
    int plain = 0;
    if (exportedNames(dll, &plain) != 0 || !plain) {
        printf("the export table does not name convert3ds2ov exactly once, undecorated\n");
        return 1;
    }
    FARPROC proc = GetProcAddress(dll, "convert3ds2ov");
    if (!proc) {
        printf("3ds2ov.dll has no export named convert3ds2ov\n");
        return 1;
    }
    Convert fn;
    memcpy(&fn, &proc, sizeof fn);
    fflush(stdout);

    int ok = 1;
#if defined(_M_IX86) || defined(__i386__)
    struct Call call = {{argv[1], argv[2], argv[3]}, fn};
    int left = -1;
    int code = callMisaligned(&call, &left);
    fflush(stdout);
    printf("callee popped %d bytes of arguments\n", 12 - left);
    ok = left == 0;
#else
    int code = fn(argv[1], argv[2], argv[3]);
    fflush(stdout);
#endif
    printf("convert3ds2ov returned %d\n", code);
    FreeLibrary(dll);
    return ok && code == 0 ? 0 : 1;
}
