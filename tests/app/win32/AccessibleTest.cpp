// What the Win32 window tells assistive technology beyond its standard controls. Wine keeps no
// annotation (its service is a stub) and its MSAA gives nothing back, so this checks what the
// window asks for and that it reaches the system's service; what is heard needs Windows.
#include "Accessible.h"
#include "FakePlatform.h"
#include "Form.h"
#include "frmZelIns.h"

#include <oleacc.h>

#include <gtest/gtest.h>
#include <tuple>
#include <vector>

namespace zelvoset {
namespace {

TEST(Accessible, OptionsAreDescribedByTheirLabelsAndThePanelIsAGroupNamedByItsHeading) {
    testing::FakePlatform platform;
    frmZelIns form(platform);
    ASSERT_NE(form.Handle(), nullptr) << "under Wine the tests need a display";

    using Asked = std::tuple<HWND, const GUID*, std::wstring, long>;
    std::vector<Asked> asked;
    std::vector<Annotation> annotations;
    for (const form::Control& control : form::Controls()) {
        for (const Annotation& annotation : AnnotationsFor(control, form.Control(control.name))) {
            asked.emplace_back(annotation.window, annotation.property, annotation.text,
                               annotation.role);
            annotations.push_back(annotation);
        }
    }
    const std::vector<Asked> expected{
        {form.Control("cmdDemoData"), &PROPID_ACC_DESCRIPTION, L"Install Zelvo demonstration data",
         0},
        {form.Control("cmdEmptyFiles"), &PROPID_ACC_DESCRIPTION,
         L"Install an initialized set of Zelvo data files for use in a new company setup", 0},
        {form.Control("fraFinish"), &PROPID_ACC_NAME, L"Installation Complete", 0},
        {form.Control("fraFinish"), &PROPID_ACC_ROLE, L"", ROLE_SYSTEM_GROUPING},
    };
    EXPECT_EQ(asked, expected);
    // Wine's service exists but answers every annotation with E_NOTIMPL: reaching it shows that
    // COM and the service were set up, as Windows, which takes them, needs.
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version");
    EXPECT_EQ(Annotate(annotations), wine ? E_NOTIMPL : S_OK);

    form.Form_Load();
    form.Show(SW_SHOWNORMAL);
    EXPECT_TRUE(IsWindowVisible(form.Control("lblDemoData")));
    EXPECT_FALSE(IsWindowVisible(form.Control("lblFinish"))) << "an empty label is left out";
}

} // namespace
} // namespace zelvoset
