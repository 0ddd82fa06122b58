#pragma once
// Calls into a hosted control through IDispatch by member name: the hosts
// cannot rely on the vtables of controls they did not build against.
// Arguments are given in declaration order and cleared after the call.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace dispatch {

HRESULT IdOf(IDispatch* object, const wchar_t* name, DISPID* id);
HRESULT Call(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args,
             VARIANT* result = nullptr);
HRESULT Put(IDispatch* object, const wchar_t* name, VARIANT value);
HRESULT Get(IDispatch* object, const wchar_t* name, VARIANT* result);

VARIANT Text(const wchar_t* text);   // out of memory raises std::bad_alloc
VARIANT Long(long value);
VARIANT Bool(bool value);
// The value converted and cleared; false when it does not convert.
bool TakeLong(VARIANT& value, long* out);
bool TakeText(VARIANT& value, std::wstring* out);

}  // namespace dispatch
