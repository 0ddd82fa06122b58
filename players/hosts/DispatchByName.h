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
// `flags` as IDispatch::Invoke takes them; the others below are its usual forms.
HRESULT Invoke(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> args,
               VARIANT* result = nullptr);
HRESULT Call(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args,
             VARIANT* result = nullptr);
HRESULT Put(IDispatch* object, const wchar_t* name, VARIANT value);
HRESULT Get(IDispatch* object, const wchar_t* name, VARIANT* result);
// A member without arguments reached as a method or a property read alike:
// some controls publish their getters, and their bare actions, as methods.
HRESULT CallOrGet(IDispatch* object, const wchar_t* name, VARIANT* result = nullptr);

// Reads through CallOrGet converted to one type; the output is untouched on
// failure. Text and objects are handed over to the caller.
HRESULT ReadLong(IDispatch* object, const wchar_t* name, long* value);
HRESULT ReadDouble(IDispatch* object, const wchar_t* name, double* value);
HRESULT ReadBool(IDispatch* object, const wchar_t* name, VARIANT_BOOL* value);
HRESULT ReadText(IDispatch* object, const wchar_t* name, BSTR* value);
HRESULT ReadObject(IDispatch* object, const wchar_t* name, IDispatch** value);

VARIANT Text(const wchar_t* text);   // out of memory raises std::bad_alloc
VARIANT Long(long value);
VARIANT Double(double value);
VARIANT Bool(bool value);
// The value converted and cleared; false when it does not convert.
bool TakeLong(VARIANT& value, long* out);
bool TakeText(VARIANT& value, std::wstring* out);

}  // namespace dispatch
