// The one function of QZSHR190.dll that OAuth_Dll uses, exported by ordinal
// 108 only (the import library binds the name below to that ordinal).
#ifndef QZSHR_MODULEPROBE_H
#define QZSHR_MODULEPROBE_H

extern "C" {
// Non-zero when a 32-bit DLL of that file name is already loaded or can be
// found on the standard DLL search path; zero otherwise. The module asked
// about is never loaded for execution, so none of its code runs.
int __cdecl QzCanLoadModule(const wchar_t* fileName);
}

#endif  // QZSHR_MODULEPROBE_H
