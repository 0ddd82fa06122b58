#pragma once

#include <windows.h>
#include <oleauto.h>

// Calls on an automation object by member name. The outside players' own
// vtables cannot be checked here, so the hosts reach every member through
// IDispatch. Arguments are given in declaration order.
HRESULT DispatchInvoke(IDispatch* object, const wchar_t* name, WORD flags, const VARIANT* args,
                       UINT count, VARIANT* result);

// A method (or a property read, for objects that publish their getters as
// methods) with up to one argument.
HRESULT DispatchMethod(IDispatch* object, const wchar_t* name, VARIANT* result = nullptr);
HRESULT DispatchMethod(IDispatch* object, const wchar_t* name, const VARIANT& arg,
                       VARIANT* result = nullptr);
HRESULT DispatchPut(IDispatch* object, const wchar_t* name, const VARIANT& value);

// Reads converted to one type; the output is untouched on failure.
HRESULT DispatchGetLong(IDispatch* object, const wchar_t* name, long* value);
HRESULT DispatchGetDouble(IDispatch* object, const wchar_t* name, double* value);
HRESULT DispatchGetBool(IDispatch* object, const wchar_t* name, VARIANT_BOOL* value);
HRESULT DispatchGetText(IDispatch* object, const wchar_t* name, BSTR* value);
HRESULT DispatchGetObject(IDispatch* object, const wchar_t* name, IDispatch** value);

VARIANT LongArg(long value);
VARIANT BoolArg(bool value);
// The VARIANT refers to the caller's string; it is not freed.
VARIANT TextArg(BSTR value);
