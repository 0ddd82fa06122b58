#pragma once

#include <windows.h>

// Holds a module loaded by name so that it is freed on every way out.
class CModuleHandle {
public:
    explicit CModuleHandle(HMODULE module = nullptr) : m_module(module) {}
    ~CModuleHandle() { Release(); }
    CModuleHandle(const CModuleHandle&) = delete;
    CModuleHandle& operator=(const CModuleHandle&) = delete;

    HMODULE Get() const { return m_module; }
    // Frees the module held and takes module in its place.
    void Reset(HMODULE module)
    {
        Release();
        m_module = module;
    }
    // FreeLibrary's result, or 0 when nothing was held.
    BOOL Release()
    {
        if (!m_module)
            return 0;
        BOOL result = FreeLibrary(m_module);
        m_module = nullptr;
        return result;
    }

private:
    HMODULE m_module;
};
