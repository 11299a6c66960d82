// The simulated resources of the running module.
#include <cstdint>

#include "sim/sim_kernel.h"

using namespace sim::kernel;

namespace win {

// Resources need no closing: they live as long as the module.
HRSRC FindResourceA(HINSTANCE, const char* name, const char* type) {
    auto id = reinterpret_cast<std::uintptr_t>(name);
    M().Log("FindResourceA " + std::to_string(id));
    auto it = M().resources.find(static_cast<int>(id));
    if (type != RT_RCDATA || id > 0xFFFF || it == M().resources.end()) {
        M().lastError = 1814;  // ERROR_RESOURCE_NAME_NOT_FOUND
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(&it->second);
}

HGLOBAL LoadResource(HINSTANCE, HRSRC resource) { return reinterpret_cast<HGLOBAL>(resource); }

const void* LockResource(HGLOBAL data) {
    return data ? reinterpret_cast<const std::string*>(data)->data() : nullptr;
}

DWORD SizeofResource(HINSTANCE, HRSRC resource) {
    return resource ? static_cast<DWORD>(reinterpret_cast<const std::string*>(resource)->size()) : 0;
}

}  // namespace win
