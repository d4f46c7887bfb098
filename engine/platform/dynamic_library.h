// A shared library loaded at run time (the ASPI manager libraries), released when
// the object goes away.
#pragma once

#include <string>

namespace tavrin::platform {

class DynamicLibrary {
public:
    // A name with a slash is a path (relative to the current directory); a bare
    // name goes through the dynamic loader's search path.
    explicit DynamicLibrary(const std::string& name);
    ~DynamicLibrary();
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    const std::string& error() const { return error_; }  // why loading failed

    void* symbol(const char* name) const;
    // A C entry point looked up by name; null when the library does not export it.
    template <typename Fn>
    Fn function(const char* name) const {
        return reinterpret_cast<Fn>(symbol(name));
    }

private:
    void release();

    void* handle_ = nullptr;
    std::string error_;
};

}  // namespace tavrin::platform
