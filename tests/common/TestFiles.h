#pragma once
// Whole-file reads and writes for tests.
#include <windows.h>

#include <string>

bool WriteBytes(const std::wstring& path, const std::string& bytes);
// Every byte of the file; empty when it cannot be opened (exists says which).
std::string ReadBytes(const std::wstring& path, bool* exists = nullptr);
bool Exists(const std::wstring& path);
