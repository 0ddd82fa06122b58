#pragma once
#include <windows.h>

#include <string>

// Writing and removing a COM server's keys below HKEY_CLASSES_ROOT, and its
// embedded type library.
namespace com {

std::wstring GuidText(REFGUID guid);

// One value to write: the key below HKEY_CLASSES_ROOT, the value's name (null
// for the default value) and its text (null: only the key).
struct ClassesEntry {
    std::wstring key;
    const wchar_t* name;
    const wchar_t* text;
};

// Writes the entries in order; the first failure is returned at once.
HRESULT WriteClassesEntries(const ClassesEntry* entries, size_t count);
// Removes each key with its sub keys; an absent key counts as removed. The
// first failure is returned after every key was tried.
HRESULT DeleteClassesTrees(const std::wstring* keys, size_t count);

// Registers the type library embedded in the module file at path.
HRESULT RegisterEmbeddedTypeLib(const wchar_t* path);
// A type library that was never registered leaves nothing to remove.
void UnregisterTypeLibrary(REFGUID libraryId, WORD major, WORD minor);

}  // namespace com
