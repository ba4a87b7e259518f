// Stand-in for <stdio.h> in the MSVC-ABI build of examples/host.cpp: the few
// functions of msvcrt.dll the example prints with (msvcrt.def). msvcrt.dll
// hands out its standard streams through __iob_func, an array of its 32-byte
// FILE records.
#ifndef OAUTH_EXAMPLE_MSVC_STDIO_H
#define OAUTH_EXAMPLE_MSVC_STDIO_H

typedef unsigned int size_t;

extern "C" {
struct _iobuf {
    char* _ptr;
    int _cnt;
    char* _base;
    int _flag;
    int _file;
    int _charbuf;
    int _bufsiz;
    char* _tmpfname;
};
typedef struct _iobuf FILE;

__declspec(dllimport) FILE* __cdecl __iob_func(void);
__declspec(dllimport) int __cdecl fprintf(FILE* stream, const char* format, ...);
__declspec(dllimport) size_t
    __cdecl fwrite(const void* data, size_t size, size_t count, FILE* stream);
__declspec(dllimport) int __cdecl printf(const char* format, ...);
}

#define stdout (&__iob_func()[1])
#define stderr (&__iob_func()[2])

#endif  // OAUTH_EXAMPLE_MSVC_STDIO_H
