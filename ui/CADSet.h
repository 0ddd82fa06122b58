#pragma once

#include <windows.h>

#include <vector>

#include "ui/ADSettings.h"
#include "ui/tagAD.h"

// The advertisements of one content-server answer: pane text ads, overlay
// text ads and video ads with their display settings and intervals. Shared by
// reference count between the control, the pane and the overlay, all on the
// control's thread.
class CADSet {
public:
    CADSet() = default;
    CADSet(const CADSet&) = delete;
    CADSet& operator=(const CADSet&) = delete;

    // False for text that does not parse or whose root is not "ad". Element
    // names are compared with their case, attribute names without.
    bool LoadXml(const wchar_t* text);

    LONG AddRef();
    // Deletes the set once the count drops to 0 or below.
    LONG Release();

    // 1 when the overlay interval has passed since the overlay last finished;
    // 0 without overlay ads.
    int IsOverlayTime() const;

    volatile LONG refs = 1;
    std::vector<_tagAD> paneAds;            // "pad"
    int overlayInterval = 0;                // "wndtime", seconds
    int overlayFinished = 0;                // seconds since 1970, set by the pane
    _tagADSetting paneSettings;             // "pset"
    std::vector<_tagAD> overlayAds;         // "wad"
    int videoInterval = 0;                  // "videotime", seconds
    int videoFinished = 0;                  // seconds since 1970, set by the pane
    _tagADSetting overlaySettings;          // "wset"
    std::vector<_tagVideoAD> videoAds;      // "vad"

private:
    ~CADSet() = default;
    void ReadChild(IXMLDOMNode* child, const wchar_t* name);
    template <class Item>
    static void ReadItems(IXMLDOMNode* list, std::vector<Item>& items);
};
