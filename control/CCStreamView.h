#pragma once
#include <windows.h>
#include <objsafe.h>
#include <ocidl.h>

#include <string>

#include "control/ChannelAuth.h"
#include "control/HttpHelper.h"
#include "ui/CPlayListDlg.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/com/OleControl.h"
#include "control/ControlView.h"
#include "players/PlayerSelector.h"
#include "platform/window/MessageMap.h"
#include "ui/CFullControl.h"
#include "ui/CStatusWnd.h"
#include "ui/CTimeDisplayWnd.h"
#include "ui/CPaneADDisplayWnd.h"
#include "ui/SBmpMapMgr.h"
#include "ui/SDrawBtn.h"
#include "ui/SVolumeCtrl.h"
#include "ui/chat/CCAXChatDlg.h"
#include "vodctl_h.h"

class CVodCore;
class CLiveCore;
struct IHTMLDocument2;

// The web page's control: its automation properties and methods, page
// parameters, play-state event and safety for scripting. Its window is the
// control bar dialog, made at in-place activation. Every call runs on the
// page's thread.
class CCStreamView : public ICStreamView2,
                     public com::COleControl,
                     public IConnectionPointContainer,
                     public IObjectSafety,
                     public IPersistPropertyBag,
                     public IProvideClassInfo2,
                     public CMessageMap,
                     public CHttpHelper<CCStreamView> {
public:
    enum LayoutMode { LAYOUT_FULL = 0, LAYOUT_SIMPLE = 1, LAYOUT_MINI = 3, LAYOUT_AUDIO = 4,
                      LAYOUT_COMPACT = 5 };
    enum CoreKind { CORE_VOD = 0, CORE_LIVE = 1, CORE_NONE = 2 };

    // One reference, held by the caller.
    CCStreamView();

    // The class factory's creation; aggregation is refused.
    static HRESULT Create(IUnknown* outer, REFIID iid, void** object);

    // Tells every connected page when the state differs from the one held,
    // then stores it.
    void SetPlayState(ULONG state);

    LayoutMode Layout() const { return layout_; }
    const std::wstring& SessionUrl() const { return sessionUrl_; }
    int SessionInterval() const { return sessionInterval_; }
    bool SessionEnabled() const { return sessionEnabled_; }
    const std::wstring& ChatCookieUrl() const { return chatCookieUrl_; }
    const std::wstring& ChatCookieName() const { return chatCookieName_; }
    bool ChatNameCookie() const { return chatNameCookie_; }
    HWND Window() const { return view_.Handle(); }
    CCAXChatDlg& Chat() { return chat_; }
    const UI::SDrawBtn& ChatButton() const { return chatButton_; }
    HWND Handle() const { return view_.Handle(); }  // the HTTP completions' target
    CVodCore* VodEngine() const { return vod_; }
    CLiveCore* LiveEngine() const { return live_; }
    CoreKind Kind() const { return coreKind_; }
    const CPlayerSelector& MainPlayer() const { return mainPlayer_; }
    const CPlayerSelector& AdPlayer() const { return adPlayer_; }

    // Content-server requests (CCStreamViewRequests.cpp).
    enum RequestId { REQ_GETAD = 131, REQ_SESSION = 132, REQ_ADXML = 133 };
    int OnHttpDone(UINT id, bool ok, const std::wstring& text) override;
    UINT GetCodePage(UINT) override { return CP_UTF8; }

    // The bar's geometry by layout mode (see CCStreamViewLayout.cpp).
    void LayoutControls();
    void ShowBarItems(bool show);
    void PaintBar(HDC dc, const RECT& client);
    void LayoutVideo(bool flvMovie);
    RECT PlayerRect() const;
    // Fills and shows, or hides, the full-screen bar.
    void SyncFullControl(bool show);
    // 2 for a disabled button, else its two-state flag.
    int GetButtonState(int id) const;
    CFullControl& FullControl() { return fullControl_; }
    CPaneADDisplayWnd& AdPane() { return adPane_; }
    // Attaches the advertisement pane to the main player's window; search:
    // look for the player's full-screen picture first.
    void AttachAdPane(bool search);

    // The control window's messages after the dialog's own.
    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch, through the type library
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                               DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

    // ICStreamView
    STDMETHODIMP put_AutoSize(VARIANT_BOOL value) override;
    STDMETHODIMP get_AutoSize(VARIANT_BOOL* value) override;
    STDMETHODIMP get_Nat(BSTR* value) override;
    STDMETHODIMP put_Nat(BSTR value) override;
    STDMETHODIMP get_Stun(BSTR* value) override;
    STDMETHODIMP put_Stun(BSTR value) override;
    STDMETHODIMP get_Cgi(BSTR* value) override;
    STDMETHODIMP put_Cgi(BSTR value) override;
    STDMETHODIMP get_Action(BSTR* value) override;
    STDMETHODIMP put_Action(BSTR value) override;
    STDMETHODIMP get_OutPlayerId(BSTR* value) override;
    STDMETHODIMP put_OutPlayerId(BSTR value) override;
    STDMETHODIMP get_PlayMode(BSTR* value) override;
    STDMETHODIMP put_PlayMode(BSTR value) override;
    STDMETHODIMP get_FullScreen(VARIANT_BOOL* value) override;
    STDMETHODIMP put_FullScreen(VARIANT_BOOL value) override;
    STDMETHODIMP get_AutoPlay(VARIANT_BOOL* value) override;
    STDMETHODIMP put_AutoPlay(VARIANT_BOOL value) override;
    STDMETHODIMP get_BufferAD(BSTR* value) override;
    STDMETHODIMP put_BufferAD(BSTR value) override;
    STDMETHODIMP get_AutoChatPop(VARIANT_BOOL* value) override;
    STDMETHODIMP put_AutoChatPop(VARIANT_BOOL value) override;
    STDMETHODIMP get_EnableChat(VARIANT_BOOL* value) override;
    STDMETHODIMP put_EnableChat(VARIANT_BOOL value) override;
    STDMETHODIMP get_EnableNameCookie(VARIANT_BOOL* value) override;
    STDMETHODIMP put_EnableNameCookie(VARIANT_BOOL value) override;
    STDMETHODIMP get_CookieFormat(BSTR* value) override;
    STDMETHODIMP put_CookieFormat(BSTR value) override;
    STDMETHODIMP get_Position(ULONG* value) override;
    STDMETHODIMP put_Position(ULONG value) override;
    STDMETHODIMP get_Volume(ULONG* value) override;
    STDMETHODIMP put_Volume(ULONG value) override;
    STDMETHODIMP get_Mute(VARIANT_BOOL* value) override;
    STDMETHODIMP put_Mute(VARIANT_BOOL value) override;
    STDMETHODIMP get_StateString(BSTR* value) override;
    STDMETHODIMP put_StateString(BSTR value) override;
    STDMETHODIMP get_Duration(ULONG* value) override;
    STDMETHODIMP put_Duration(ULONG value) override;
    STDMETHODIMP get_CurPlay(ULONG* value) override;
    STDMETHODIMP put_CurPlay(ULONG value) override;
    STDMETHODIMP get_EnableContexMenu(VARIANT_BOOL* value) override;
    STDMETHODIMP put_EnableContexMenu(VARIANT_BOOL value) override;
    STDMETHODIMP get_StartDelay(ULONG* value) override;
    STDMETHODIMP put_StartDelay(ULONG value) override;
    STDMETHODIMP get_StopAD(BSTR* value) override;
    STDMETHODIMP put_StopAD(BSTR value) override;
    STDMETHODIMP get_BufferTime(ULONG* value) override;
    STDMETHODIMP put_BufferTime(ULONG value) override;
    STDMETHODIMP get_FlvPlayer(BSTR* value) override;
    STDMETHODIMP put_FlvPlayer(BSTR value) override;
    STDMETHODIMP get_InfoString(BSTR* value) override;
    STDMETHODIMP get_OrgSize(VARIANT_BOOL* value) override;
    STDMETHODIMP put_OrgSize(VARIANT_BOOL value) override;
    STDMETHODIMP get_EnableCacheData(VARIANT_BOOL* value) override;
    STDMETHODIMP put_EnableCacheData(VARIANT_BOOL value) override;
    STDMETHODIMP get_DefaultDLS(ULONG* value) override;
    STDMETHODIMP put_DefaultDLS(ULONG value) override;
    STDMETHODIMP get_DefaultULS(ULONG* value) override;
    STDMETHODIMP put_DefaultULS(ULONG value) override;
    STDMETHODIMP get_LockFullscreen(VARIANT_BOOL* value) override;
    STDMETHODIMP put_LockFullscreen(VARIANT_BOOL value) override;
    STDMETHODIMP get_AutoFullscreen(VARIANT_BOOL* value) override;
    STDMETHODIMP put_AutoFullscreen(VARIANT_BOOL value) override;
    STDMETHODIMP get_EnablePlaylist(VARIANT_BOOL* value) override;
    STDMETHODIMP put_EnablePlaylist(VARIANT_BOOL value) override;
    STDMETHODIMP Open() override;
    STDMETHODIMP Play() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Close() override;
    STDMETHODIMP PopPlaylist() override;
    STDMETHODIMP PopChat() override;
    STDMETHODIMP ChangeVideoSize() override;

    // ICStreamView2
    STDMETHODIMP get_LocalPlayerUrl(BSTR* value) override;
    STDMETHODIMP get_PlayState(ULONG* value) override;
    STDMETHODIMP get_DownloadedPercent(ULONG* value) override;
    STDMETHODIMP get_EnableControlBar(VARIANT_BOOL* value) override;
    STDMETHODIMP put_EnableControlBar(VARIANT_BOOL value) override;
    STDMETHODIMP get_UserSession(BSTR* value) override;
    STDMETHODIMP put_UserSession(BSTR value) override;
    STDMETHODIMP StartVodService() override;
    STDMETHODIMP StopVodService() override;
    STDMETHODIMP get_TrackPeerNums(LONG* value) override;
    STDMETHODIMP put_TrackPeerNums(LONG value) override;
    STDMETHODIMP get_MaxConnectPeers(LONG* value) override;
    STDMETHODIMP put_MaxConnectPeers(LONG value) override;
    STDMETHODIMP get_FullDataTime(LONG* value) override;
    STDMETHODIMP put_FullDataTime(LONG value) override;
    STDMETHODIMP get_ADAppend(BSTR* value) override;
    STDMETHODIMP put_ADAppend(BSTR value) override;
    STDMETHODIMP get_EnableNetDataDisplay(VARIANT_BOOL* value) override;
    STDMETHODIMP put_EnableNetDataDisplay(VARIANT_BOOL value) override;
    STDMETHODIMP get_StatusBarDisplay(BSTR* value) override;
    STDMETHODIMP put_StatusBarDisplay(BSTR value) override;
    STDMETHODIMP get_MemorySize(ULONG* value) override;
    STDMETHODIMP put_MemorySize(ULONG value) override;
    STDMETHODIMP get_PasuedAD(BSTR* value) override;
    STDMETHODIMP put_PasuedAD(BSTR value) override;
    STDMETHODIMP get_EnableShowAbout(VARIANT_BOOL* value) override;
    STDMETHODIMP put_EnableShowAbout(VARIANT_BOOL value) override;
    STDMETHODIMP get_PortRange(BSTR* value) override;
    STDMETHODIMP put_PortRange(BSTR value) override;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

    // IObjectSafety
    STDMETHODIMP GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled) override;
    STDMETHODIMP SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) override;

    // IPersist (shared with IPersistStreamInit), IPersistPropertyBag
    STDMETHODIMP GetClassID(CLSID* clsid) override { return COleControl::GetClassID(clsid); }
    STDMETHODIMP InitNew() override { return S_OK; }
    STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
    STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;
    using COleControl::Load;
    using COleControl::Save;

    // IProvideClassInfo, IProvideClassInfo2
    STDMETHODIMP GetClassInfo(ITypeInfo** info) override;
    STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

protected:
    HWND CreateControlWindow(HWND parent, const RECT& position) override;
    HWND ControlWindow() const override { return view_.Handle(); }
    void DestroyControlWindow() override;

private:
    ~CCStreamView() override;

    HRESULT DispatchInfo(ITypeInfo** info);
    bool WindowExists() const { return view_.Handle() != nullptr; }
    void PostCommand(int id, HWND control);
    void InitChildWindows();
    UI::SDrawBtn* ButtonOf(int id);
    const UI::SDrawBtn* ButtonOf(int id) const;
    void SetButtonToolTip(UI::SDrawBtn& button, UINT stringId);
    void ToggleVideoSize();
    void RepaintSeeThroughItems(const RECT& painted);
    void OnDestroyWindow();
    // The dialogs' messages (CCStreamViewDialogs.cpp).
    bool ProcessDialogMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result);
    LRESULT OnAuthChallenge(WPARAM bytes, LPARAM length);
    // True when a challenge dialog was on screen: it ends cancelled, and the
    // close waits until the engine has its answer.
    bool DeferCloseWhileChallenged();
    std::wstring LoginPageAddress();
    void OnPlaylistToggle();
    static void OnVolumeSlider(const UI::SliderChange* change, void* self);
    static void OnPositionSlider(const UI::SliderChange* change, void* self);
    static void SendChatData(const unsigned char* data, int length, void* self);
    // Chat (CCStreamViewChat.cpp).
    LRESULT OnRelayText(WPARAM bytes, LPARAM length);
    void OnChatToggle();
    bool ChatVisible();
    void SetChatBlinking(bool on);

    // Lifecycle (CCStreamViewLifecycle.cpp).
    void AutoPlay();
    LRESULT OnOpen();
    bool StartCore();
    bool StartVodCore(const std::string& natHost, WORD natPort, const std::string& stunHost,
                      int lowPort, int highPort, const std::wstring& trackerUrl);
    bool StartLiveCore(const std::string& natHost, WORD natPort, const std::string& stunHost,
                       int lowPort, int highPort, const std::wstring& trackerUrl);
    bool GetTopDocument(IHTMLDocument2** document);
    void OnPlayPause();
    bool PlayUrl(const wchar_t* url, bool replaying);
    void OnStop(LPARAM fromButton);
    bool ResetPlayback();
    LRESULT OnClose();
    void OnReplay(WPARAM copy);
    void EnableButtons(std::initializer_list<int> ids, bool enable);
    bool FlvMovie() const;

    // Messages, timers and play state (CCStreamViewMessages.cpp).
    bool ProcessControlMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void ApplyPlayState(ULONG state);
    LRESULT OnPlayerEvent(UINT message, WPARAM wParam, LPARAM lParam);
    void OnPlayerPlayState(WPARAM state);
    LRESULT OnEngineConnected(WPARAM wParam);
    void OnTimer(UINT_PTR id);
    void OnPositionTimer();
    void OnStatisticsTimer();
    void OnPrebufferTimer();
    void UpdateStatistics(int count, int upRate, int downRate, std::int64_t upTotal,
                          std::int64_t downTotal);
    void ShowFlashAd(bool stopped);
    void ShowPausedAd();
    void SyncFullBarButtons();
    void NotifyEngine(UINT vodMessage);
    void ShowCursorAgain();
    void OnMuteToggle();
    void OnFullScreenToggle();

    // Requests (CCStreamViewRequests.cpp).
    void RequestAd();
    void RequestAdXml(const std::wstring& url);
    void SendSessionKeepAlive();

    // The advertisement pane and the right-click menu (CCStreamViewAds.cpp,
    // CCStreamViewMenu.cpp).
    void ShowAdDescription(const std::wstring& xml);
    void DetachAdPane();
    void ForwardPlayerMouse(UINT message, WPARAM flags);
    void OnMouseActivate(LPARAM lParam);
    void ShowAbout();

    volatile LONG refs_ = 1;
    ITypeInfo* dispatchInfo_ = nullptr;  // loaded on first use, kept
    com::CConnectionPoint events_;
    DWORD safety_ = 0;
    CControlView view_{this};
    CPlayerSelector mainPlayer_, adPlayer_;
    UI_Mgr::SBmpMapMgr skin_;
    UI::SVolumeCtrl volumeSlider_, positionBar_;
    CTimeDisplayWnd timeDisplay_;
    CStatusWnd status_;
    CPaneADDisplayWnd adPane_;
    CFullControl fullControl_;
    // In the order of their items: programme list, chat, video size, full
    // screen, play/pause, stop, mute. latched is each one's two-state flag.
    UI::SDrawBtn listButton_, chatButton_, sizeButton_, fullButton_, playButton_, stopButton_,
        muteButton_;

    VARIANT_BOOL autoSize_ = VARIANT_FALSE;
    BSTR nat_ = nullptr, stun_ = nullptr, cgi_ = nullptr, action_ = nullptr,
         outPlayerId_ = nullptr, playMode_ = nullptr, bufferAD_ = nullptr,
         cookieFormat_ = nullptr, stopAD_ = nullptr, flvPlayer_ = nullptr,
         userSession_ = nullptr, adAppend_ = nullptr, statusBarDisplay_ = nullptr,
         pasuedAD_ = nullptr, portRange_ = nullptr;
    LONG autoPlay_ = -1, autoChatPop_ = 0, enableChat_ = -1, enableNameCookie_ = 0,
         enableContexMenu_ = -1, mute_ = 0, enableCacheData_ = -1, enablePlaylist_ = -1,
         enableControlBar_ = 2, enableNetDataDisplay_ = -1, enableShowAbout_ = -1;
    ULONG volume_ = 67, startDelay_ = 0, bufferTime_ = 0, defaultDLS_ = 400, defaultULS_ = 400,
          memorySize_ = 20;
    LONG trackPeerNums_ = 0, maxConnectPeers_ = 0, fullDataTime_ = 0;
    ULONG playState_ = 0;
    // The state whose event is being fired (none: ~0), and a count of the
    // events fired, by which SetPlayState sees a change made by a handler.
    ULONG announcing_ = ~0ul;
    unsigned playStateChanges_ = 0;
    LayoutMode layout_ = LAYOUT_FULL;
    CoreKind coreKind_ = CORE_NONE;

    CCAXChatDlg chat_;
    std::wstring chatCookieUrl_, chatCookieName_;
    bool chatNameCookie_ = false;
    // The main player's flags as the page last set them.
    bool orgSize_ = false, lockFullscreen_ = false, autoFullscreen_ = false;
    std::wstring sessionUrl_;
    int sessionInterval_ = 300;
    bool sessionEnabled_ = false;

    // At most one engine, of the kind coreKind_ names.
    CVodCore* vod_ = nullptr;
    CLiveCore* live_ = nullptr;
    // The engine's content or channel id and content hash, as handed to it.
    std::int64_t engineCid_ = 0;
    std::wstring engineHash_;
    bool opened_ = false, stoppedByUser_ = false, adPending_ = true, replaying_ = false;
    std::uint32_t prebufferSeconds_ = 15, prebufferTicks_ = 0;
    std::wstring programmeTitle_;
    int sessionSeconds_ = 0;
    bool sessionAccepted_ = true;
    std::wstring sessionReason_;
    // ShowCursor(FALSE) calls made for the full-screen player not yet undone.
    int cursorHides_ = 0;
    // The channel challenge being answered, and what came meanwhile.
    CChannelAuth channelAuth_;
    bool closeAfterChallenge_ = false, openAfterChallenge_ = false;
    // The live channel's programme list, made on first use.
    CPlayListDlg playList_;
};
