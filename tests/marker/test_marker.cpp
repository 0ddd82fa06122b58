// TovraPlayer.dll: registered with regsvr32 and created from a script and
// by ProgID, and its object driven through its class factory.
#include <windows.h>
#include <objsafe.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TovraPlayer_h.h"

namespace {

const DWORD kProgramWaitMs = 60000;
// IDispatchEx, which mingw's uuid library lacks.
const IID kIID_IDispatchEx = {0xa6ef9860, 0xc720, 0x11d0, {0x93, 0x37, 0x00, 0xa0, 0xc9, 0x0d, 0xca, 0xa9}};

std::wstring GuidText(REFGUID guid)
{
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

// Runs a program of the prefix without a console and answers its exit code,
// or -1 when it did not start or end.
int RunProgram(const std::wstring& commandLine)
{
    std::wstring command = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        nullptr, &startup, &process))
        return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, kProgramWaitMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

int RunScript(const wchar_t* progId)
{
    return RunProgram(std::wstring(L"cscript.exe //nologo \"") + TOVRA_MARKER_SCRIPT + L"\" " + progId);
}

bool KeyExists(const std::wstring& key)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

// A REG_SZ value below HKEY_CLASSES_ROOT (the default one when name is
// null); "<missing>" when there is none.
std::wstring Text(const std::wstring& key, const wchar_t* name = nullptr)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return L"<missing>";
    wchar_t value[MAX_PATH * 2] = {};
    DWORD type = 0, size = sizeof value - sizeof(wchar_t);
    LONG status = RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(handle);
    return status == ERROR_SUCCESS && type == REG_SZ ? value : L"<missing>";
}

std::wstring Upper(std::wstring text)
{
    CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

class ComApartment {
public:
    ComApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComApartment() { CoUninitialize(); }
};

// Registration, a script host and creation by ProgID, then unregistration,
// all against the test prefix's registry.
TEST(MarkerRegistration, RegistersCreatesFromScriptAndUnregisters)
{
    ComApartment com;
    wchar_t dll[MAX_PATH];
    ASSERT_NE(GetFullPathNameW(TOVRA_PLAYER_DLL, MAX_PATH, dll, nullptr), 0u);
    ASSERT_EQ(RunProgram(std::wstring(L"regsvr32.exe /s \"") + dll + L"\""), 0);

    const std::wstring clsid = GuidText(CLSID_CCTovraPlayerCom);
    const std::wstring libId = GuidText(LIBID_TovraPlayer);
    const std::wstring classKey = L"CLSID\\" + clsid;
    const std::wstring appId = Text(classKey, L"AppID");
    ASSERT_EQ(appId.size(), 38u) << "the class names its application id";

    struct Expected {
        std::wstring key;
        const wchar_t* name;
        std::wstring text;
    } expected[] = {
        {L"TovraPlayer.CTovraPlayerCom.1", nullptr, L"CCTovraPlayerCom Object"},
        {L"TovraPlayer.CTovraPlayerCom.1\\CLSID", nullptr, clsid},
        {L"TovraPlayer.CTovraPlayerCom", nullptr, L"CCTovraPlayerCom Object"},
        {L"TovraPlayer.CTovraPlayerCom\\CLSID", nullptr, clsid},
        {L"TovraPlayer.CTovraPlayerCom\\CurVer", nullptr, L"TovraPlayer.CTovraPlayerCom.1"},
        {classKey, nullptr, L"CCTovraPlayerCom Object"},
        {classKey + L"\\ProgID", nullptr, L"TovraPlayer.CTovraPlayerCom.1"},
        {classKey + L"\\VersionIndependentProgID", nullptr, L"TovraPlayer.CTovraPlayerCom"},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"both"},
        {classKey + L"\\TypeLib", nullptr, libId},
        {L"AppID\\" + appId, nullptr, L"TovraPlayer"},
        {L"AppID\\TovraPlayer.DLL", L"AppID", appId},
    };
    for (const Expected& e : expected)
        EXPECT_EQ(Text(e.key, e.name), e.text) << std::string(e.key.begin(), e.key.end());
    EXPECT_EQ(Upper(Text(classKey + L"\\InprocServer32")), Upper(dll));
    EXPECT_TRUE(KeyExists(classKey + L"\\Programmable"));
    EXPECT_FALSE(KeyExists(classKey + L"\\Implemented Categories"))
        << "safety for scripting is announced only through IObjectSafety";
    EXPECT_TRUE(KeyExists(L"TypeLib\\" + libId + L"\\1.0"));

    EXPECT_EQ(RunScript(L"TovraPlayer.CTovraPlayerCom"), 0);
    EXPECT_EQ(RunScript(L"TovraPlayer.CTovraPlayerCom.1"), 0);

    for (const wchar_t* progId : {L"TovraPlayer.CTovraPlayerCom", L"TovraPlayer.CTovraPlayerCom.1"}) {
        CLSID found = {};
        ASSERT_EQ(CLSIDFromProgID(progId, &found), S_OK);
        EXPECT_TRUE(IsEqualCLSID(found, CLSID_CCTovraPlayerCom));
        IObjectSafety* safety = nullptr;
        ASSERT_EQ(CoCreateInstance(found, nullptr, CLSCTX_INPROC_SERVER, IID_IObjectSafety,
                                   reinterpret_cast<void**>(&safety)),
                  S_OK);
        DWORD supported = 0, enabled = 7;
        EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
        EXPECT_EQ(supported, 3u);
        EXPECT_EQ(enabled, 0u);
        safety->Release();
    }

    ASSERT_EQ(RunProgram(std::wstring(L"regsvr32.exe /u /s \"") + dll + L"\""), 0);
    for (const std::wstring& key : {std::wstring(L"TovraPlayer.CTovraPlayerCom.1"),
                                    std::wstring(L"TovraPlayer.CTovraPlayerCom"), classKey,
                                    L"AppID\\" + appId, std::wstring(L"AppID\\TovraPlayer.DLL"),
                                    L"TypeLib\\" + libId})
        EXPECT_FALSE(KeyExists(key)) << std::string(key.begin(), key.end());
    EXPECT_TRUE(KeyExists(L"CLSID"));
    EXPECT_TRUE(KeyExists(L"AppID"));
    CLSID found = {};
    EXPECT_NE(CLSIDFromProgID(L"TovraPlayer.CTovraPlayerCom", &found), S_OK);
    EXPECT_EQ(RunScript(L"TovraPlayer.CTovraPlayerCom"), 10);
}

typedef HRESULT(WINAPI* GetClassObjectFunction)(REFCLSID, REFIID, void**);
typedef HRESULT(WINAPI* CanUnloadFunction)();

template <typename Function>
Function Resolve(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The object straight from the library's class factory, as COM gets it.
class MarkerObject : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        module_ = LoadLibraryW(TOVRA_PLAYER_DLL);
        getClassObject_ = Resolve<GetClassObjectFunction>(module_, "DllGetClassObject");
        canUnload_ = Resolve<CanUnloadFunction>(module_, "DllCanUnloadNow");
    }

    static void TearDownTestSuite() { CoUninitialize(); }

    void SetUp() override
    {
        ASSERT_NE(module_, nullptr);
        ASSERT_NE(getClassObject_, nullptr);
        ASSERT_NE(canUnload_, nullptr);
        ASSERT_EQ(getClassObject_(CLSID_CCTovraPlayerCom, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory_)),
                  S_OK);
    }

    void TearDown() override
    {
        if (factory_)
            factory_->Release();
        EXPECT_EQ(canUnload_(), S_OK) << "an object or the class object outlived the test";
    }

    template <typename Interface>
    Interface* Create(REFIID iid)
    {
        Interface* object = nullptr;
        EXPECT_EQ(factory_->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&object)), S_OK);
        return object;
    }

    static HMODULE module_;
    static GetClassObjectFunction getClassObject_;
    static CanUnloadFunction canUnload_;
    IClassFactory* factory_ = nullptr;
};

HMODULE MarkerObject::module_ = nullptr;
GetClassObjectFunction MarkerObject::getClassObject_ = nullptr;
CanUnloadFunction MarkerObject::canUnload_ = nullptr;

TEST_F(MarkerObject, AnswersItsFiveInterfacesWithOneIdentity)
{
    IUnknown* object = Create<IUnknown>(IID_IUnknown);
    ASSERT_NE(object, nullptr);
    for (REFIID iid : {IID_IUnknown, IID_ICTovraPlayerCom, IID_IDispatch, IID_IObjectSafety,
                       IID_IProvideClassInfo}) {
        IUnknown* answered = nullptr;
        ASSERT_EQ(object->QueryInterface(iid, reinterpret_cast<void**>(&answered)), S_OK)
            << std::string(GuidText(iid).begin(), GuidText(iid).end());
        IUnknown* identity = nullptr;
        ASSERT_EQ(answered->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
        EXPECT_EQ(identity, object);
        identity->Release();
        answered->Release();
    }
    for (REFIID iid : {IID_IPersist, IID_IOleObject, kIID_IDispatchEx, IID_IMarshal,
                       IID_IConnectionPointContainer, IID_IClassFactory, IID_IProvideClassInfo2}) {
        void* answered = reinterpret_cast<void*>(1);
        EXPECT_EQ(object->QueryInterface(iid, &answered), E_NOINTERFACE);
        EXPECT_EQ(answered, nullptr);
    }
    EXPECT_EQ(object->Release(), 0u);
}

TEST_F(MarkerObject, DispatchHasNoMembers)
{
    IDispatch* dispatch = Create<IDispatch>(IID_IDispatch);
    ASSERT_NE(dispatch, nullptr);

    UINT count = 7;
    EXPECT_EQ(dispatch->GetTypeInfoCount(nullptr), E_POINTER);
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ITypeInfo* info = nullptr;
    EXPECT_EQ(dispatch->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
    ASSERT_EQ(dispatch->GetTypeInfo(0, 0, &info), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_ICTovraPlayerCom));
    EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FDUAL);
    info->ReleaseTypeAttr(attributes);
    // The interface part of the dual interface adds no methods to IDispatch.
    HREFTYPE vtablePart = 0;
    ITypeInfo* vtableInfo = nullptr;
    ASSERT_EQ(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtablePart), S_OK);
    ASSERT_EQ(info->GetRefTypeInfo(vtablePart, &vtableInfo), S_OK);
    ASSERT_EQ(vtableInfo->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->typekind, TKIND_INTERFACE);
    EXPECT_EQ(attributes->cFuncs, 0);
    vtableInfo->ReleaseTypeAttr(attributes);
    vtableInfo->Release();
    info->Release();

    wchar_t playName[] = L"Play";
    LPOLESTR names[] = {playName};
    DISPID id = 5;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);

    VARIANT argument;
    VariantInit(&argument);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    DISPPARAMS one = {&argument, nullptr, 1, 0};
    struct Case {
        DISPID id;
        WORD flags;
        DISPPARAMS* params;
        HRESULT answer;
    } cases[] = {
        {0, DISPATCH_METHOD, nullptr, DISP_E_BADVARTYPE},
        {0, DISPATCH_METHOD, &one, DISP_E_BADPARAMCOUNT},
        {0, DISPATCH_METHOD, &none, DISP_E_MEMBERNOTFOUND},
        {1, DISPATCH_PROPERTYGET, &none, DISP_E_MEMBERNOTFOUND},
    };
    for (const Case& c : cases) {
        VARIANT result;
        result.vt = VT_I4;
        result.lVal = 42;
        EXPECT_EQ(dispatch->Invoke(c.id, IID_NULL, 0, c.flags, c.params, &result, nullptr, nullptr),
                  c.answer);
        if (c.answer == DISP_E_MEMBERNOTFOUND) {
            EXPECT_EQ(result.vt, VT_EMPTY) << "the result is initialised empty";
        }
    }
    EXPECT_EQ(dispatch->Invoke(0, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(dispatch->Release(), 0u);
}

TEST_F(MarkerObject, ObjectSafetyOffersBothOptionsAndKeepsTheEnabledOnes)
{
    IObjectSafety* safety = Create<IObjectSafety>(IID_IObjectSafety);
    ASSERT_NE(safety, nullptr);
    DWORD supported = 0xFF, enabled = 0xFF;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &enabled), E_POINTER);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, nullptr), E_POINTER);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IPersist, &supported, &enabled), E_NOINTERFACE);
    EXPECT_EQ(supported, 0u);
    EXPECT_EQ(enabled, 0u);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IPersist, 1, 1), E_NOINTERFACE);

    struct Step {
        DWORD mask, set;
        HRESULT answer;
        DWORD enabledAfter;
    } steps[] = {
        {4, 4, E_FAIL, 0}, {3, 1, S_OK, 1}, {2, 2, S_OK, 3}, {7, 7, E_FAIL, 3},
        {1, 0, S_OK, 2},   {0, 3, S_OK, 2}, {3, 3, S_OK, 3}, {3, 0, S_OK, 0},
    };
    for (const Step& step : steps) {
        EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, step.mask, step.set), step.answer);
        for (REFIID iid : {IID_IDispatch, IID_ICTovraPlayerCom, IID_IUnknown}) {
            EXPECT_EQ(safety->GetInterfaceSafetyOptions(iid, &supported, &enabled), S_OK);
            EXPECT_EQ(supported, 3u);
            EXPECT_EQ(enabled, step.enabledAfter) << "mask " << step.mask << " enabled " << step.set;
        }
    }
    ASSERT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 3, 3), S_OK);
    IObjectSafety* other = Create<IObjectSafety>(IID_IObjectSafety);
    EXPECT_EQ(other->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_EQ(enabled, 0u) << "each object starts with no options";
    EXPECT_EQ(other->Release(), 0u);
    EXPECT_EQ(safety->Release(), 0u);
}

// The coclass and its type library, as a page's host reads them.
TEST_F(MarkerObject, ClassInfoDescribesTheCoclassAndItsLibrary)
{
    IProvideClassInfo* provider = Create<IProvideClassInfo>(IID_IProvideClassInfo);
    ASSERT_NE(provider, nullptr);
    EXPECT_EQ(provider->GetClassInfo(nullptr), E_POINTER);
    ITypeInfo* info = nullptr;
    ITypeInfo* again = nullptr;
    ASSERT_EQ(provider->GetClassInfo(&info), S_OK);
    ASSERT_EQ(provider->GetClassInfo(&again), S_OK);
    EXPECT_EQ(info, again) << "loaded once and kept";
    again->Release();

    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->typekind, TKIND_COCLASS);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, CLSID_CCTovraPlayerCom));
    EXPECT_EQ(attributes->cImplTypes, 1);
    info->ReleaseTypeAttr(attributes);
    INT flags = 0;
    ASSERT_EQ(info->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_TRUE(flags & IMPLTYPEFLAG_FDEFAULT);
    HREFTYPE reference = 0;
    ITypeInfo* defaultInterface = nullptr;
    ASSERT_EQ(info->GetRefTypeOfImplType(0, &reference), S_OK);
    ASSERT_EQ(info->GetRefTypeInfo(reference, &defaultInterface), S_OK);
    ASSERT_EQ(defaultInterface->GetTypeAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_ICTovraPlayerCom));
    defaultInterface->ReleaseTypeAttr(attributes);

    // Help texts in Chinese: the test runs with code page 936, as the
    // player's users do.
    struct Documented {
        ITypeInfo* info;
        const wchar_t *name, *help;
    } documented[] = {{info, L"CCTovraPlayerCom", L"CTovraPlayerCom Class"},
                      {defaultInterface, L"ICTovraPlayerCom", L"ICTovraPlayerCom 接口"}};
    for (const Documented& d : documented) {
        BSTR name = nullptr, help = nullptr;
        ASSERT_EQ(d.info->GetDocumentation(MEMBERID_NIL, &name, &help, nullptr, nullptr), S_OK);
        EXPECT_STREQ(name, d.name);
        EXPECT_STREQ(help, d.help);
        SysFreeString(name);
        SysFreeString(help);
    }
    defaultInterface->Release();

    ITypeLib* library = nullptr;
    UINT index = 0;
    ASSERT_EQ(info->GetContainingTypeLib(&library, &index), S_OK);
    TLIBATTR* libraryAttributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&libraryAttributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(libraryAttributes->guid, LIBID_TovraPlayer));
    EXPECT_EQ(libraryAttributes->wMajorVerNum, 1);
    EXPECT_EQ(libraryAttributes->wMinorVerNum, 0);
    library->ReleaseTLibAttr(libraryAttributes);
    BSTR name = nullptr, help = nullptr;
    ASSERT_EQ(library->GetDocumentation(-1, &name, &help, nullptr, nullptr), S_OK);
    EXPECT_STREQ(name, L"TovraPlayer");
    EXPECT_STREQ(help, L"TovraPlayer 1.0 类型库");
    SysFreeString(name);
    SysFreeString(help);
    library->Release();
    info->Release();
    EXPECT_EQ(provider->Release(), 0u);
}

// An outer object that counts what the inner object delegates to it.
class Outer : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        ++queries;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *object = this;
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(iid, object) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }

    IUnknown* inner = nullptr;
    ULONG refs = 1;
    int queries = 0;
};

TEST_F(MarkerObject, CanBeAggregated)
{
    Outer outer;
    void* refused = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory_->CreateInstance(&outer, IID_IDispatch, &refused), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(refused, nullptr);

    ASSERT_EQ(factory_->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)),
              S_OK);
    IObjectSafety* safety = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(&safety)), S_OK);
    EXPECT_EQ(outer.refs, 2u) << "an interface of the inner object counts on the outer";
    IUnknown* identity = nullptr;
    ASSERT_EQ(safety->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, &outer) << "the outer object is the identity";
    EXPECT_EQ(outer.queries, 1);
    identity->Release();
    safety->Release();
    EXPECT_EQ(outer.refs, 1u);
    EXPECT_EQ(outer.inner->Release(), 0u);
}

TEST_F(MarkerObject, ModuleStaysLockedWhileObjectsOrTheClassObjectAreHeld)
{
    void* refused = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject_(IID_IDispatch, IID_IClassFactory, &refused), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(getClassObject_(CLSID_CCTovraPlayerCom, IID_IDispatch, &refused), E_NOINTERFACE);

    EXPECT_EQ(canUnload_(), S_FALSE) << "the class object is held";
    IUnknown* object = Create<IUnknown>(IID_IUnknown);
    factory_->Release();
    factory_ = nullptr;
    EXPECT_EQ(canUnload_(), S_FALSE) << "an object lives";
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(canUnload_(), S_OK);

    IClassFactory* factory = nullptr;
    ASSERT_EQ(getClassObject_(CLSID_CCTovraPlayerCom, IID_IUnknown, reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    EXPECT_EQ(canUnload_(), S_FALSE) << "LockServer holds the module";
    ASSERT_EQ(getClassObject_(CLSID_CCTovraPlayerCom, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory->Release();
}

// The registry says "both": the object is used from any thread, and its
// reference count changes atomically.
DWORD WINAPI AddRefAndRelease(void* object)
{
    auto unknown = static_cast<IUnknown*>(object);
    for (int i = 0; i < 20000; ++i) {
        unknown->AddRef();
        unknown->Release();
    }
    return 0;
}

TEST_F(MarkerObject, ReferenceCountSurvivesManyThreads)
{
    IUnknown* object = Create<IUnknown>(IID_IObjectSafety);
    ASSERT_NE(object, nullptr);
    std::vector<HANDLE> threads;
    for (int i = 0; i < 8; ++i)
        threads.push_back(CreateThread(nullptr, 0, AddRefAndRelease, object, 0, nullptr));
    ASSERT_EQ(WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE,
                                     kProgramWaitMs),
              WAIT_OBJECT_0);
    for (HANDLE thread : threads)
        CloseHandle(thread);
    EXPECT_EQ(object->AddRef(), 2u);
    object->Release();
    EXPECT_EQ(object->Release(), 0u);
}

}  // namespace
