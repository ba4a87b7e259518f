// Keeps a module's exceptions working in hosts that carry the toolchain's
// shared runtime.
//
// A module that links libgcc statically still has its unwind tables
// registered by the start-up code of crtbegin.o, and that code prefers the
// shared libgcc_s_dw2-1.dll whenever the process already has it loaded. The
// tables then land in the shared library's registry, while every throw of
// the module unwinds with the statically linked unwinder, which never hears
// of them: the first throw, even one caught a frame later, ends in
// std::terminate. Hosts built with the shared runtime always carry that DLL.
//
// RegisterUnwindTables asks the module's own unwinder whether it knows the
// module's code and, if not, registers the module's .eh_frame with it.
// Call it once the C runtime has started (after DllMainCRTStartup's process
// attach, or from DllMain), and DeregisterUnwindTables on FreeLibrary after
// the runtime has shut down. Both run under the loader lock, which also keeps
// them apart from each other.
#ifndef OAUTH_COMMON_UNWINDTABLES_H
#define OAUTH_COMMON_UNWINDTABLES_H

#include <windows.h>

namespace OAuthClient {

// True when this module's unwinder knows the module's code, registering the
// module's tables with it if needed.
[[nodiscard]] bool RegisterUnwindTables(HMODULE module) noexcept;

// Gives back a registration made by RegisterUnwindTables, if any.
void DeregisterUnwindTables() noexcept;

}  // namespace OAuthClient

#endif  // OAUTH_COMMON_UNWINDTABLES_H
