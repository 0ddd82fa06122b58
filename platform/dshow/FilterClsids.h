#pragma once

#include <guiddef.h>

// The outside DirectShow filters the player builds its graphs from, as the
// codec folder's files register them. Shared by those files and the player.

// "VUZizAvezid": the source of "zaror://" addresses (asyncflt.ax).
// {F4D9CF8B-56D9-4CDD-8A7D-1B9BEF1FDFD5}
inline constexpr GUID CLSID_VuzizAvezid = {
    0xf4d9cf8b, 0x56d9, 0x4cdd, {0x8a, 0x7d, 0x1b, 0x9b, 0xef, 0x1f, 0xdf, 0xd5}};

// "KELO RealMedia Splitter" (RealMediaSplitter.ax).
// {B75308DE-BE82-40A3-9E2F-BDE2700ECFE6}
inline constexpr GUID CLSID_KeloRealMediaSplitter = {
    0xb75308de, 0xbe82, 0x40a3, {0x9e, 0x2f, 0xbd, 0xe2, 0x70, 0x0e, 0xcf, 0xe6}};

// "KELO RealAudio Decoder" (RealMediaSplitter.ax).
// {45D13B4F-C630-4DDD-9D0D-B055872653CA}
inline constexpr GUID CLSID_KeloRealAudioDecoder = {
    0x45d13b4f, 0xc630, 0x4ddd, {0x9d, 0x0d, 0xb0, 0x55, 0x87, 0x26, 0x53, 0xca}};

// "KELO RealVideo Decoder" (RealMediaSplitter.ax).
// {87D96964-A7B3-4EE1-B231-7691E16520D8}
inline constexpr GUID CLSID_KeloRealVideoDecoder = {
    0x87d96964, 0xa7b3, 0x4ee1, {0xb2, 0x31, 0x76, 0x91, 0xe1, 0x65, 0x20, 0xd8}};

// "GDCL WMV/WMA Parser" (WMFDemux.dll).
// {1932C124-77DA-4151-99AA-234FEA09F463}
inline constexpr GUID CLSID_GdclWmvParser = {
    0x1932c124, 0x77da, 0x4151, {0x99, 0xaa, 0x23, 0x4f, 0xea, 0x09, 0xf4, 0x63}};

// The stream subtype the source gives RealMedia files (".rm" and ".rmvb").
// {6B6C7A0E-3B6A-4C4E-9E43-2E524D460001}
inline constexpr GUID MEDIASUBTYPE_TovraRealMedia = {
    0x6b6c7a0e, 0x3b6a, 0x4c4e, {0x9e, 0x43, 0x2e, 0x52, 0x4d, 0x46, 0x00, 0x01}};
