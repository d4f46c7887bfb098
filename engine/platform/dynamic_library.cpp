#include "engine/platform/dynamic_library.h"

#include <dlfcn.h>
#include <utility>

namespace tavrin::platform {

DynamicLibrary::DynamicLibrary(const std::string& name) {
    handle_ = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_) return;
    const char* why = ::dlerror();
    error_ = why ? why : "cannot load " + name;
}

DynamicLibrary::~DynamicLibrary() { release(); }

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this == &other) return *this;
    release();
    handle_ = std::exchange(other.handle_, nullptr);
    error_ = std::move(other.error_);
    return *this;
}

void* DynamicLibrary::symbol(const char* name) const {
    if (!handle_) return nullptr;
    return ::dlsym(handle_, name);
}

void DynamicLibrary::release() {
    if (handle_) ::dlclose(handle_);
    handle_ = nullptr;
}

}  // namespace tavrin::platform
