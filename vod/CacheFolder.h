#pragma once

// winsock2.h before windows.h: the engine includes these beside the network headers.
#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <string>

// The cache folder shared by the engine and the seeding service, decided once
// per process (refresh decides again): the per-user "path" setting when it
// names a folder; else the first fixed drive's "RODar_Azizo" folder; else the
// configured path, or "RODar_Azizo" on the fixed drive with the most free
// space. The folder is created when missing and made hidden. Safe to call
// from several threads.
std::wstring GetCacheFolder(bool refresh);

// Deletes the index files of the older format ("*.vd") that do not parse.
void RemoveOldIndexFiles(const std::wstring& folder);

// Calls visit for each file (not folder) of the folder whose name ends in the
// extension (such as L".vd2", compared without regard to case), in the
// order of the folder listing.
void ForEachFileWithExtension(const std::wstring& folder, const wchar_t* extension,
                              const std::function<void(const WIN32_FIND_DATAW&)>& visit);

bool IsExistingFolder(const std::wstring& path);
bool IsExistingFile(const std::wstring& path);
