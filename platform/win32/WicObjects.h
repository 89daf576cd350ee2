// WicObjects: what every use of the Windows Imaging Component here needs:
// COM joined for the length of one call, interfaces released on every exit,
// and the imaging factory.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <wincodec.h>

// Releases a COM interface on every exit.
template <typename Interface>
class ComRef {
public:
    ComRef() = default;
    ~ComRef()
    {
        if (pointer_ != nullptr) pointer_->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    Interface** Out() { return &pointer_; }
    void** OutVoid() { return reinterpret_cast<void**>(&pointer_); }
    Interface* operator->() const { return pointer_; }
    Interface* Get() const { return pointer_; }

private:
    Interface* pointer_ = nullptr;
};

// COM for the duration of one call. A thread that already joined another
// apartment keeps it (RPC_E_CHANGED_MODE): WIC works in either.
class ComScope {
public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope()
    {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool Usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT result_;
};

// The imaging factory; false when WIC is not there.
inline bool CreateWicFactory(ComRef<IWICImagingFactory>& factory)
{
    return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                      factory.OutVoid()));
}
