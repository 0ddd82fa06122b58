#pragma once

#include <windows.h>

// Identifiers of the MSXML 3.0 DOM that mingw-w64's import libraries lack,
// under names of our own so they never clash with a library that has them.

// DOMDocument30: {F5078F32-C551-11D3-89B9-0000F81FE221}
inline const CLSID kClsidDomDocument30 = {
    0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};

// IXMLDOMDocument2: {2933BF95-7B36-11D2-B20E-00C04F983E60}
inline const IID kIidXmlDomDocument2 = {
    0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
