// What the simulated kernel32, advapi32, userenv and shell32 share: the
// machine, the last error, tokens by their handles, the environment Windows
// builds for an account, and the character set of a code page.
#pragma once

#include <map>
#include <string>

#include "shared/process_shell.h"
#include "sim/sim.h"

namespace sim::kernel {

using namespace win;
using Kind = Machine::HandleKind;

inline Machine& M() { return machine(); }

inline std::string Str(const char* s) { return s ? s : "<null>"; }

inline BOOL Fail(DWORD error) {
    M().lastError = error;
    return FALSE;
}

// A token with at least the access needed; null, with the error, otherwise.
inline Machine::HandleInfo* Token(HANDLE token, DWORD needed) {
    auto* info = M().Handle(token, Kind::Token);
    if (!info || (info->access & needed) != needed) Fail(info ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE);
    return info && (info->access & needed) == needed ? info : nullptr;
}

// Whose environment Windows builds for a token: the system's variables, and
// the user's own for the desktop user.
inline std::map<std::string, std::string> EnvironmentFor(const std::string& account) {
    return account == kDesktopUser ? M().OwnEnvironment() : M().systemEnvironment;
}

// The iconv name of a code page (CP_ACP: the process's); null for one the
// model does not know.
const char* CharacterSet(UINT codePage);

}  // namespace sim::kernel
