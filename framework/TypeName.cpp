#include "TypeName.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

namespace fw::internal {

std::string ClassNameOf(const std::type_info& type) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                     std::free);
    std::string name = (status == 0 && demangled) ? demangled.get() : type.name();
    // Drop namespaces, but leave template arguments alone.
    if (name.find('<') == std::string::npos) {
        const auto colon = name.rfind("::");
        if (colon != std::string::npos) name.erase(0, colon + 2);
    }
    return name;
}

}  // namespace fw::internal
