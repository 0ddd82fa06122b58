#pragma once

#include <dshow.h>

#include <vector>

class CPin;

// Snapshots handed out by EnumPins and EnumMediaTypes.
class CEnumPins : public IEnumPins {
public:
    explicit CEnumPins(const std::vector<CPin*>& pins, size_t position = 0);
    virtual ~CEnumPins();
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumPins** clone) override;

private:
    volatile LONG m_refs = 1;
    std::vector<CPin*> m_pins;   // each held
    size_t m_position;
};

class CEnumMediaTypes : public IEnumMediaTypes {
public:
    explicit CEnumMediaTypes(CPin* pin, size_t position = 0);
    virtual ~CEnumMediaTypes();
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumMediaTypes** clone) override;

private:
    volatile LONG m_refs = 1;
    CPin* m_pin;   // held
    size_t m_position;
};
