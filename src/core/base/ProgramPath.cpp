#include "ProgramPath.hpp"

#ifdef __APPLE__
#include <cstdint>
#include <mach-o/dyld.h>
#include <vector>
#endif

namespace vellumkite {

std::filesystem::path ProgramPath::self() {
    std::error_code ec;
#ifdef __APPLE__
    std::uint32_t size = 0;
    (void)_NSGetExecutablePath(nullptr, &size); // asks for the size
    std::vector<char> buffer(size + 1, '\0');
    if (_NSGetExecutablePath(buffer.data(), &size) != 0)
        return {};
    auto path = std::filesystem::canonical(buffer.data(), ec);
#else
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
#endif
    return ec ? std::filesystem::path() : path;
}

} // namespace vellumkite
