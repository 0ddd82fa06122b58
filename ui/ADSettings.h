#pragma once

#include <windows.h>
#include <msxml2.h>

#include <string>

// How one group of text ads is shown: its font and how it scrolls.
struct _tagADSetting {
    BYTE charset = 0;          // lfCharSet
    BYTE pitchAndFamily = 0;   // lfPitchAndFamily
    BYTE scrollMode = 0;       // 0 horizontal ticker, 1 vertical one at a time
    std::string face;          // lfFaceName, in the ANSI code page
    int height = 0;            // lfHeight
    int speed = 25;            // horizontal pixels per second
    int stayTime = 5;          // seconds an item stays in vertical mode
    int pause = 0;             // 0: one ticker; else seconds between single items

    static const BYTE kHorizontal = 0;
    static const BYTE kVertical = 1;

    // The face is the element's text, the rest its attributes.
    void LoadFromNode(IXMLDOMNode* node);
    // A font of its own is built only for settings that differ from these
    // defaults (or that name a face and a height).
    bool IsSet() const;
};
