// Framework-private: readable class names for reports ("thread CSync").
#pragma once
#include <string>
#include <typeinfo>

namespace fw::internal {

// The demangled name without namespace qualifiers.
std::string ClassNameOf(const std::type_info& type);

}  // namespace fw::internal
