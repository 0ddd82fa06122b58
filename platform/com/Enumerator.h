#pragma once
#include <windows.h>
#include <ocidl.h>

#include <new>
#include <vector>

namespace com {

// A snapshot enumerator over copies of items (IEnumConnectionPoints,
// IEnumConnections): each item is AddRef'ed while held, and each item handed
// out is the caller's to release.
template <typename EnumInterface, typename Item, const IID& kIid>
class CEnumerator : public EnumInterface {
public:
    static HRESULT Create(const std::vector<Item>& items, EnumInterface** out)
    {
        if (!out)
            return E_POINTER;
        *out = new (std::nothrow) CEnumerator(items);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kIid)) {
            *object = static_cast<EnumInterface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG refs = InterlockedDecrement(&refs_);
        if (refs == 0)
            delete this;
        return static_cast<ULONG>(refs);
    }

    STDMETHODIMP Next(ULONG count, Item* items, ULONG* fetched) override
    {
        if (!items || (count > 1 && !fetched))
            return E_POINTER;
        ULONG given = 0;
        for (; given < count && next_ < items_.size(); ++given, ++next_) {
            items[given] = items_[next_];
            Hold(items[given]);
        }
        if (fetched)
            *fetched = given;
        return given == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override
    {
        const size_t left = items_.size() - next_;
        next_ += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override
    {
        next_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(EnumInterface** out) override
    {
        HRESULT result = Create(items_, out);
        if (SUCCEEDED(result))
            static_cast<CEnumerator*>(*out)->next_ = next_;
        return result;
    }

private:
    explicit CEnumerator(const std::vector<Item>& items) : items_(items)
    {
        for (Item& item : items_)
            Hold(item);
    }
    ~CEnumerator()
    {
        for (Item& item : items_)
            Let(item);
    }

    static void Hold(IUnknown* item) { item->AddRef(); }
    static void Hold(CONNECTDATA& item) { item.pUnk->AddRef(); }
    static void Let(IUnknown* item) { item->Release(); }
    static void Let(CONNECTDATA& item) { item.pUnk->Release(); }

    volatile LONG refs_ = 1;
    std::vector<Item> items_;
    size_t next_ = 0;
};

typedef CEnumerator<IEnumConnectionPoints, IConnectionPoint*, IID_IEnumConnectionPoints>
    CEnumConnectionPoints;
typedef CEnumerator<IEnumConnections, CONNECTDATA, IID_IEnumConnections> CEnumConnections;

}  // namespace com
