// Stand-ins for what the PostScript driver hands the plug-in frame: device
// objects with settings, the driver's own DDI functions, and its published
// interfaces. Shared by the plugin and module tests.
#pragma once

#include "common/function_cast.h"
#include "platform/host/sim_control.h"
#include "platform/platform.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

constexpr size_t kTestPrivatePartBytes = 12016;
constexpr size_t kTestSettingsOffset = 12;

// A device object with a public DEVMODEW and a private part whose settings
// block carries the identification text. Not copyable: the device object and
// the surface point into it.
struct TestDevice {
    DEVMODEW publicDm{};
    std::vector<BYTE> privatePart = std::vector<BYTE>(kTestPrivatePartBytes, 0);
    DEVOBJ devobj{};
    SURFOBJ surface{};

    explicit TestDevice(HANDLE printer = nullptr) {
        publicDm.dmSize = sizeof(DEVMODEW);
        devobj.dwSize = sizeof(DEVOBJ);
        devobj.hPrinter = printer;
        devobj.pPublicDM = &publicDm;
        devobj.pOEMDM = privatePart.data();
        surface.dhpdev = reinterpret_cast<DHPDEV>(&devobj);
        PutText(0, u"VTA/NP");
    }
    TestDevice(const TestDevice&) = delete;
    TestDevice& operator=(const TestDevice&) = delete;

    BYTE* Settings() { return privatePart.data() + kTestSettingsOffset; }
    // Writes the units of text and a terminating zero at a settings offset.
    void PutText(size_t offset, const std::u16string& text) {
        std::memcpy(Settings() + offset, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    }
};

// What the driver's own DDI functions were called with.
struct DriverRecord {
    int startDocCalls = 0;
    SURFOBJ* startDocSurface = nullptr;
    std::u16string startDocName;
    DWORD startDocJob = 0;
    int endDocCalls = 0;
    FLONG endDocFlags = 0;
    int sendPageCalls = 0;
    BOOL answer = TRUE;  // what every function returns
};
inline DriverRecord driverRecord;

inline BOOL APIENTRY FakeDrvStartDoc(SURFOBJ* pso, LPWSTR name, DWORD jobId) {
    ++driverRecord.startDocCalls;
    driverRecord.startDocSurface = pso;
    driverRecord.startDocName = name != nullptr ? std::u16string(name) : u"<null>";
    driverRecord.startDocJob = jobId;
    return driverRecord.answer;
}
inline BOOL APIENTRY FakeDrvEndDoc(SURFOBJ*, FLONG fl) {
    ++driverRecord.endDocCalls;
    driverRecord.endDocFlags = fl;
    return driverRecord.answer;
}
inline BOOL APIENTRY FakeDrvSendPage(SURFOBJ*) {
    ++driverRecord.sendPageCalls;
    return driverRecord.answer;
}

// The slot each forwarded core-helper operation landed in, and a distinct
// success code per slot so a result proves which method produced it.
enum class HelperSlot {
    None,
    GetOption,
    SetOptions,
    EnumConstrainedOptions,
    WhyConstrained,
    GetGlobalAttribute,
    GetFeatureAttribute,
    GetOptionAttribute,
    EnumFeatures,
    EnumOptions,
    Other
};
inline HRESULT SlotResult(HelperSlot slot) { return static_cast<HRESULT>(0x00040200 + static_cast<int>(slot)); }

// Counts its references; never deletes itself, so a test can look at the
// counts after the code under test let go.
class SlotRecordingHelper : public IPrintCoreHelperPS {
public:
    LONG refs = 1;
    int releases = 0;
    HelperSlot lastSlot = HelperSlot::None;
    int calls = 0;
    std::vector<const void*> lastArgs;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override {
        ++releases;
        return static_cast<ULONG>(--refs);
    }
    HRESULT STDMETHODCALLTYPE GetOption(const DEVMODEW* a, DWORD b, PCSTR c, PCSTR* d) override {
        return Record(HelperSlot::GetOption, {a, Num(b), c, d});
    }
    HRESULT STDMETHODCALLTYPE SetOptions(PDEVMODEW a, DWORD b, BOOL c, const PRINT_FEATURE_OPTION* d, DWORD e, PDWORD f,
                                         PDWORD g) override {
        return Record(HelperSlot::SetOptions, {a, Num(b), Num(static_cast<DWORD>(c)), d, Num(e), f, g});
    }
    HRESULT STDMETHODCALLTYPE EnumConstrainedOptions(const DEVMODEW* a, DWORD b, PCSTR c, PCSTR** d,
                                                     DWORD* e) override {
        return Record(HelperSlot::EnumConstrainedOptions, {a, Num(b), c, d, e});
    }
    HRESULT STDMETHODCALLTYPE WhyConstrained(const DEVMODEW* a, DWORD b, PCSTR c, PCSTR d,
                                             const PRINT_FEATURE_OPTION** e, DWORD* f) override {
        return Record(HelperSlot::WhyConstrained, {a, Num(b), c, d, e, f});
    }
    HRESULT STDMETHODCALLTYPE EnumFeatures(PCSTR** a, DWORD* b) override {
        return Record(HelperSlot::EnumFeatures, {a, b});
    }
    HRESULT STDMETHODCALLTYPE EnumOptions(PCSTR a, PCSTR** b, DWORD* c) override {
        return Record(HelperSlot::EnumOptions, {a, b, c});
    }
    HRESULT STDMETHODCALLTYPE GetFontSubstitution(PCWSTR, PCWSTR*) override { return Record(HelperSlot::Other, {}); }
    HRESULT STDMETHODCALLTYPE SetFontSubstitution(PCWSTR, PCWSTR) override { return Record(HelperSlot::Other, {}); }
    HRESULT STDMETHODCALLTYPE CreateInstanceOfMSXMLObject(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*) override {
        return Record(HelperSlot::Other, {});
    }
    HRESULT STDMETHODCALLTYPE GetGlobalAttribute(PCSTR a, PDWORD b, PBYTE* c, PDWORD d) override {
        return Record(HelperSlot::GetGlobalAttribute, {a, b, c, d});
    }
    HRESULT STDMETHODCALLTYPE GetFeatureAttribute(PCSTR a, PCSTR b, PDWORD c, PBYTE* d, PDWORD e) override {
        return Record(HelperSlot::GetFeatureAttribute, {a, b, c, d, e});
    }
    HRESULT STDMETHODCALLTYPE GetOptionAttribute(PCSTR a, PCSTR b, PCSTR c, PDWORD d, PBYTE* e, PDWORD f) override {
        return Record(HelperSlot::GetOptionAttribute, {a, b, c, d, e, f});
    }

    // Numbers are recorded as pointer-sized values so one list holds every argument.
    static const void* Num(DWORD value) { return reinterpret_cast<const void*>(static_cast<uintptr_t>(value)); }

private:
    HRESULT Record(HelperSlot slot, std::vector<const void*> args) {
        ++calls;
        lastSlot = slot;
        lastArgs = std::move(args);
        return SlotResult(slot);
    }
};

// Only its reference count matters to the plug-in.
class CountingDriverServices : public IPrintOemDriverPS {
public:
    LONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
    HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID, PCSTR, PVOID, DWORD, PDWORD, PDWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DrvWriteSpoolBuf(PDEVOBJ, PVOID, DWORD, DWORD*) override { return E_NOTIMPL; }
};

// The object the driver publishes: offers the core helper and/or the driver
// services, and records the identifiers it was asked for, in order.
class RecordingPublisher : public IUnknown {
public:
    SlotRecordingHelper helper;
    CountingDriverServices services;
    bool offersHelper = true;
    bool offersServices = true;
    std::vector<IID> queried;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        queried.push_back(riid);
        if (offersHelper && riid == IID_IPrintCoreHelperPS) {
            helper.AddRef();
            *ppv = static_cast<IPrintCoreHelperPS*>(&helper);
            return S_OK;
        }
        if (offersServices && riid == IID_IPrintOemDriverPS) {
            services.AddRef();
            *ppv = static_cast<IPrintOemDriverPS*>(&services);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

// The notice's texts, byte for byte.
inline const std::u16string kNoticeCaption = u"Error";
inline const std::u16string kNoticeText = u"The job was canceled.\n\tErrorNo = 0xA1";
