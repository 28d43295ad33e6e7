#include "plugin/core_helper_proxy.h"

#include "frame_fakes.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// One call of every forwarding operation with arguments that identify
// themselves; the list of arguments the fake must receive goes with it.
struct Forwarding {
    HelperSlot slot;
    std::function<HRESULT(CoreHelperProxy&)> call;
    std::vector<const void*> expectedArgs;
};

DEVMODEW devmode;
PRINT_FEATURE_OPTION pairs[1];
const PRINT_FEATURE_OPTION* constraints;
PCSTR option;
PCSTR* list;
DWORD d1, d2, d3;
PBYTE data;
const char kFeature[] = "Feature";
const char kOption[] = "Option";
const char kAttribute[] = "Attribute";

std::vector<Forwarding> AllForwardings() {
    using F = SlotRecordingHelper;
    return {
        {HelperSlot::GetOption, [](CoreHelperProxy& p) { return p.GetOption(&devmode, 220, kFeature, &option); },
         {&devmode, F::Num(220), kFeature, &option}},
        {HelperSlot::SetOptions,
         [](CoreHelperProxy& p) { return p.SetOptions(&devmode, 221, TRUE, pairs, 1, &d1, &d2); },
         {&devmode, F::Num(221), F::Num(1), pairs, F::Num(1), &d1, &d2}},
        {HelperSlot::EnumConstrainedOptions,
         [](CoreHelperProxy& p) { return p.EnumConstrainedOptions(&devmode, 222, kFeature, &list, &d1); },
         {&devmode, F::Num(222), kFeature, &list, &d1}},
        {HelperSlot::WhyConstrained,
         [](CoreHelperProxy& p) { return p.WhyConstrained(&devmode, 223, kFeature, kOption, &constraints, &d1); },
         {&devmode, F::Num(223), kFeature, kOption, &constraints, &d1}},
        {HelperSlot::GetGlobalAttribute,
         [](CoreHelperProxy& p) { return p.GetGlobalAttribute(kAttribute, &d1, &data, &d2); },
         {kAttribute, &d1, &data, &d2}},
        {HelperSlot::GetFeatureAttribute,
         [](CoreHelperProxy& p) { return p.GetFeatureAttribute(kFeature, kAttribute, &d1, &data, &d2); },
         {kFeature, kAttribute, &d1, &data, &d2}},
        {HelperSlot::GetOptionAttribute,
         [](CoreHelperProxy& p) { return p.GetOptionAttribute(kFeature, kOption, kAttribute, &d1, &data, &d3); },
         {kFeature, kOption, kAttribute, &d1, &data, &d3}},
        {HelperSlot::EnumFeatures, [](CoreHelperProxy& p) { return p.EnumFeatures(&list, &d1); }, {&list, &d1}},
        {HelperSlot::EnumOptions, [](CoreHelperProxy& p) { return p.EnumOptions(kFeature, &list, &d2); },
         {kFeature, &list, &d2}},
    };
}

TEST(CoreHelperProxy, EmptyProxyAnswersNoInterfaceForEveryOperation) {
    CoreHelperProxy proxy;
    EXPECT_EQ(proxy.HeldInterface(), nullptr);
    for (const Forwarding& f : AllForwardings()) EXPECT_EQ(f.call(proxy), E_NOINTERFACE);
}

TEST(CoreHelperProxy, PointerOfAnotherInterfaceIsHeldButNeverCalled) {
    SlotRecordingHelper helper;
    {
        CoreHelperProxy proxy;
        proxy.Attach(IID_IPrintCoreHelper, &helper);
        for (const Forwarding& f : AllForwardings()) EXPECT_EQ(f.call(proxy), E_NOINTERFACE);
        EXPECT_EQ(helper.calls, 0);
    }
    EXPECT_EQ(helper.releases, 1);  // still owned, so still released
}

TEST(CoreHelperProxy, EachOperationReachesTheSameNamedMethodWithItsArgumentsAndResult) {
    SlotRecordingHelper helper;
    helper.AddRef();  // the reference the proxy takes over
    CoreHelperProxy proxy;
    proxy.Attach(IID_IPrintCoreHelperPS, &helper);
    for (const Forwarding& f : AllForwardings()) {
        EXPECT_EQ(f.call(proxy), SlotResult(f.slot)) << static_cast<int>(f.slot);
        EXPECT_EQ(helper.lastSlot, f.slot);
        EXPECT_EQ(helper.lastArgs, f.expectedArgs) << static_cast<int>(f.slot);
    }
    EXPECT_EQ(helper.refs, 2);  // Attach added no reference
}

TEST(CoreHelperProxy, ReferencesAreReleasedExactlyOnce) {
    SlotRecordingHelper first;
    SlotRecordingHelper second;
    {
        CoreHelperProxy proxy;
        proxy.Attach(IID_IPrintCoreHelperPS, &first);
        proxy.Attach(IID_IPrintCoreHelperPS, &second);
        EXPECT_EQ(first.releases, 1);
        EXPECT_EQ(second.releases, 0);
        EXPECT_EQ(proxy.HeldInterface(), &second);
    }
    EXPECT_EQ(first.releases, 1);
    EXPECT_EQ(second.releases, 1);

    SlotRecordingHelper third;
    CoreHelperProxy proxy;
    proxy.Attach(IID_IPrintCoreHelperPS, &third);
    proxy.Detach();
    proxy.Detach();
    EXPECT_EQ(third.releases, 1);
    EXPECT_EQ(proxy.HeldInterface(), nullptr);
    EXPECT_EQ(proxy.HeldIid(), GUID_NULL);
    EXPECT_EQ(proxy.GetOptionAttribute(kFeature, kOption, kAttribute, &d1, &data, &d2), E_NOINTERFACE);
}

}  // namespace
