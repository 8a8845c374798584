#include "app/desktop_loader.h"

#include <cstdlib>
#include <string>

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include "app/desktop/desktop_module.h"

namespace morvel {

namespace {

const MorvelDesktop* Load() {
    char exe[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return nullptr;
    std::string dir(exe, static_cast<size_t>(n));
    dir.erase(dir.find_last_of('/') + 1);
    for (const char* place : {"", "../lib/morvel/"}) {
        const std::string path = dir + place + "libmorvel_desktop.so";
        if (::access(path.c_str(), R_OK) != 0) continue;
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) continue;
        using Entry = const MorvelDesktop* (*)();
        const auto entry = reinterpret_cast<Entry>(::dlsym(module, "morvel_desktop"));
        const MorvelDesktop* desktop = entry ? entry() : nullptr;
        if (desktop && desktop->abi == MORVEL_DESKTOP_ABI) return desktop;
        ::dlclose(module);
    }
    return nullptr;
}

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

}  // namespace

const MorvelDesktop* DesktopModule() {
    static const MorvelDesktop* const desktop = Set("DISPLAY") || Set("WAYLAND_DISPLAY") ? Load() : nullptr;
    return desktop;
}

int ServeClipboard(int argc, char** argv) {
    const MorvelDesktop* desktop = Load();
    return desktop ? desktop->serve_clipboard(argc, argv) : 1;
}

}  // namespace morvel
